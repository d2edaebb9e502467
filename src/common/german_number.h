#pragma once
// Numbers as German text reads them: "1.234,5".
#include <string>

namespace dllscope {

// `value` with `digits` decimals, a comma before them and a point between
// each three digits of the whole part.
std::wstring GermanNumber(double value, int digits);
// A whole value without decimals, any other with one: "3", "2,5".
std::wstring GermanDecimal(double value);

}  // namespace dllscope
