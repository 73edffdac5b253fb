// The ladder model's tests: the model lends the project its check that the
// ladder compiles into the program, as main() lends it.
#include <gtest/gtest.h>

#include "ladder/model/Laddercompile.h"

int main(int argc, char** argv) {
    InstallLadderCodeCheck();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
