#include "guard/fault.h"
#include "guard/win32/guard.h"
