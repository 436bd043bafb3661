#pragma once
// Shared set-up of the expression tests: an empty binding table and a fixed local date.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "runtime/expression/binding_scopes.h"
#include "runtime/core/error_state.h"
#include "runtime/expression/expression.h"

namespace docket::runtime::testing {

class ExpressionTest : public ::testing::Test {
protected:
    void SetUp() override {
        while (scopeDepth() > 0) popScope();
        clearScope();
        clearError();
        platform::LocalDateTime now;
        now.year = 2026;
        now.month = 3;
        now.day = 15;
        now.hour = 10;
        platform::setLocalNowOverride(&now);
    }
    void TearDown() override {
        platform::setLocalNowOverride(nullptr);
        while (scopeDepth() > 0) popScope();
        clearScope();
    }

    static std::string ev(const std::string& text) { return evaluate(text); }
    static bool compiles(const std::string& text) { return compileExpression(text) != nullptr; }
};

} // namespace docket::runtime::testing
