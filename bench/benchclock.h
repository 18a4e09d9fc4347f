#pragma once

#include <sys/resource.h>

namespace bench {

// CPU time of the finished child processes (a peer such as ripgrep or php),
// in milliseconds: so far, so a difference times one run.
inline double childrenCpuMs()
{
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

} // namespace bench
