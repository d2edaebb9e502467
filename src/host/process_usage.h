#pragma once
// What a process holds, as the leak check measures it after each cycle.
namespace dllscope {

struct ProcessUsage {
    long long handles = 0, privateBytes = 0;
    long long freeTlsSlots = 0;  // of the process's 1088
    long long peakBytes = 0;     // the most memory it ever had committed
};

}  // namespace dllscope
