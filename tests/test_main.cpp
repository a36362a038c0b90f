#include <gtest/gtest.h>

#include "os/os.h"

int main(int argc, char **argv) {
    os_init();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
