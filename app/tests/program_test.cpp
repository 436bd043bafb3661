#include <gtest/gtest.h>

#include "app/program.h"

TEST(Program, Placeholder) {}
