// Linked into every test program: no test may reach a host outside this machine, so the
// cloud index defaults to a closed loopback port unless a test sets its own address.
#include <cstdlib>

namespace {

const bool kCloudOnLoopback = [] {
    setenv("TUNOVA_CLOUD_URL", "http://127.0.0.1:1/", 0);
    return true;
}();

}  // namespace
