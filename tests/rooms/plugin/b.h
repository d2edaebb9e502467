#pragma once
#include "plugin/a.h"
