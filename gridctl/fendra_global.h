#pragma once
#include <QtCore/qglobal.h>

#if defined(FENDRA_LIBRARY)
#define FENDRA_EXPORT Q_DECL_EXPORT
#else
#define FENDRA_EXPORT Q_DECL_IMPORT
#endif
