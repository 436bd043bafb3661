#pragma once
#include "ui/definition.h"

namespace docket::ui {
// A window holding one control of every type, for looking at and for the screenshot test.
WindowDefinition galleryDefinition();
} // namespace docket::ui
