#pragma once
// A view's order text: components separated by ",", each a field name or an expression, "-" in
// front for descending order; a case-insensitive string component is written UPPER(name). The
// components are compiled against the current bindings and matched to the primary table's keys.
#include <memory>
#include <string_view>
#include <vector>

#include "drivers/declaration.h"
#include "runtime/expression/expression.h"

namespace docket::runtime {

struct OrderComponent {
    std::unique_ptr<CompiledExpression> expression;
    bool descending = false;
    int field = 0;      // the primary table's field (from 1) the component reads, 0 for an expression
    bool upper = false; // the component is UPPER(field)
};

// Compiles an order text; false when any component does not compile (or is empty between two
// commas). An empty or blank text gives no components.
bool compileOrder(std::string_view text, const drivers::FileDeclaration& primary,
                  std::vector<OrderComponent>* out);

struct KeyMatch {
    int key = -1;           // index in the primary table's keys, -1 when none matches
    bool backwards = false; // read the key backwards
};

// The key that reads the primary table in the order given. A key matches when the order's
// components are its leading components on the same fields, all in the key's direction (read
// forwards) or all against it (read backwards); a string component must be UPPER() exactly when
// the key ignores case. An order longer than a unique key matches when the key's components
// match its start: the key already decides every tie. Keys left out of the table's upkeep (INDEX)
// and keys that leave records out (OPT) are never used.
KeyMatch matchOrderKey(const std::vector<OrderComponent>& order, const drivers::FileDeclaration& primary);

} // namespace docket::runtime
