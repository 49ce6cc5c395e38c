// The protected-file check loads the system's library, never a file of the same
// name that lies where the program runs.
#include <gtest/gtest.h>

#include <windows.h>

#include "sigvault.h"
#include "support/TestSupport.h"

TEST(Sigvault, ALibraryOfTheSameNameBesideTheProgramIsNeverLoaded) {
    // Made by tests/sigvault.cmake; it calls every file protected.
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((kivtest::ProgramFolder() + L"sfc.dll").c_str()));
    EXPECT_FALSE(CSigvault::Get().IsFileProtected(L"C:\\kivtests\\not_protected.exe"));
    EXPECT_FALSE(CSigvault::Get().IsFileProtected(L""));
}
