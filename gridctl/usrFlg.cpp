#include "usrFlg.h"
usrFlg::usrFlg(QWidget* parent) : QWidget(parent) {}
