#pragma once
#include <QtCore/qglobal.h>

#if defined(RELLMARK_LIBRARY)
#define RELLMARK_EXPORT Q_DECL_EXPORT
#else
#define RELLMARK_EXPORT Q_DECL_IMPORT
#endif
