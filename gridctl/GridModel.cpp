#include "GridModel.h"
