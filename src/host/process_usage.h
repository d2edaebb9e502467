#pragma once
// What a process holds, as the leak check measures it after each cycle.
namespace dllscope {

struct ProcessUsage {
    long long handles = 0, privateBytes = 0;
    long long freeTlsSlots = 0;  // of the process's 1088
    long long peakBytes = 0;     // the most memory it ever had committed
    // The bytes in use in the process's heaps (the C runtimes' too) and how
    // many heaps there are; -1 where the heaps cannot be walked.
    long long heapBytes = -1, heaps = -1;
};

}  // namespace dllscope
