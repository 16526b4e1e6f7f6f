// Builds a control tree from a layout document (pugixml). Internal to the
// toolkit; windows reach it through SkinWindowBase::Create.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/control.h"

namespace qui {

class PaintManager;

class LayoutBuilder {
 public:
  using CustomFactory = std::function<std::unique_ptr<Control>(const std::wstring& tag)>;

  // Reads the "Window" element's attributes and "Font" elements into the
  // manager and returns the root control (the Window's first control child).
  // Tags: Control, Label, Button, CheckBox (also "Option"), Edit, Progress,
  // Container, VerticalLayout, HorizontalLayout, TabLayout, compared ignoring
  // case; any other tag goes to `custom` first. Unknown tags are skipped
  // with their children. Null and `error` filled when the text is not a
  // layout.
  static std::unique_ptr<Control> Build(const std::string& xml, PaintManager& manager,
                                        const CustomFactory& custom, std::string* error);

  // The built-in controls by tag (null for unknown tags).
  static std::unique_ptr<Control> CreateBuiltin(const std::wstring& tag);
};

}  // namespace qui
