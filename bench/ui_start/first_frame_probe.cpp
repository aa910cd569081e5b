// The window's start-up path on its own: display, skin, face lookup, labels and
// the first frame on screen. Prints the monotonic clock in nanoseconds when
// the first frame has been presented, then closes. With "--baseline" it
// prints the clock at once (the cost of starting the process alone).
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tovarin_dlg.h"

static long long NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--baseline") == 0) {
        std::printf("%lld\n", NowNs());
        return 0;
    }
    if (!OpenFrontDisplay()) {
        return 1;
    }
    int status = 1;
    {
        CTovarinDlg dlg;
        dlg.m_onFramePresented = [&](unsigned) {
            if (status != 0) {
                std::printf("%lld\n", NowNs());
                std::fflush(stdout);
                status = 0;
                dlg.OnCancel();
            }
        };
        dlg.DoModal();
    }
    CloseFrontDisplay();
    return status;
}
