// A room that reaches up: the build must refuse it.
#include "main_window/form1.h"
