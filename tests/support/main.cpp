// The unit tests touch /dev/shm, /conf, /persist and the system log, so they
// only run inside a simulated SP (`arksim run`), never on the host itself.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (std::getenv("ARKSIM_SANDBOX") == nullptr) {
        std::fprintf(stderr, "run me as a simulated SP: arksim run --new-chassis DIR -- %s\n", argv[0]);
        return 2;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
