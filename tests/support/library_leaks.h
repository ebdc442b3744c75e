#pragma once
// libgphoto2 2.5.30 leaks 8 bytes each time it loads its port drivers
// (gp_port_info_list_load; the gphoto2 command under valgrind shows it too).
// A test that goes through it declares RAVLEN_LIBRARY_LEAKS_OFF at its start:
// under LeakSanitizer that scope's allocations are not reported, elsewhere
// it is nothing.

#if defined(__SANITIZE_ADDRESS__)
#define RAVLEN_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RAVLEN_LEAK_CHECKED 1
#endif
#endif

#ifdef RAVLEN_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#define RAVLEN_LIBRARY_LEAKS_OFF const __lsan::ScopedDisabler libraryLeaks
#else
#define RAVLEN_LIBRARY_LEAKS_OFF static_cast<void>(0)
#endif
