#pragma once
#include "fendra_global.h"
#include <QWidget>

class FENDRA_EXPORT usrFlg : public QWidget {
    Q_OBJECT
public:
    explicit usrFlg(QWidget* parent = nullptr);
};
