#pragma once
#include "plugin/b.h"
