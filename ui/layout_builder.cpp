#include "ui/layout_builder.h"

#include <pugixml.hpp>

#include <cwchar>
#include <map>

#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"
#include "utils/text.h"

namespace qui {
namespace {

std::wstring Wide(const char* utf8) {
  return Utils::MultiByteToWide(utf8 ? utf8 : "", Utils::kCodePageUtf8);
}

bool IsLayoutMetaTag(const std::wstring& tag) {
  return EqualsNoCase(tag, L"Font") || EqualsNoCase(tag, L"Default") ||
         EqualsNoCase(tag, L"Image") || EqualsNoCase(tag, L"Style");
}

struct BuildContext {
  const LayoutBuilder::CustomFactory* custom;
  std::map<std::wstring, std::wstring> defaults;  // lower-case class -> attribute list
};

std::unique_ptr<Control> BuildNode(const pugi::xml_node& node, BuildContext& ctx) {
  std::wstring tag = Wide(node.name());
  std::unique_ptr<Control> control = LayoutBuilder::CreateBuiltin(tag);
  if (!control && ctx.custom && *ctx.custom) control = (*ctx.custom)(tag);
  if (!control) return nullptr;
  auto def = ctx.defaults.find(ToLower(tag));
  if (def != ctx.defaults.end()) control->ApplyAttributeList(def->second);
  for (const pugi::xml_attribute& attr : node.attributes()) {
    control->SetAttribute(Wide(attr.name()), Wide(attr.value()));
  }
  if (auto* container = dynamic_cast<Container*>(control.get())) {
    for (const pugi::xml_node& child : node.children()) {
      if (child.type() != pugi::node_element) continue;
      if (auto built = BuildNode(child, ctx)) container->Add(std::move(built));
    }
  }
  return control;
}

}  // namespace

std::unique_ptr<Control> LayoutBuilder::CreateBuiltin(const std::wstring& tag) {
  std::wstring t = ToLower(tag);
  if (t == L"control") return std::make_unique<Control>();
  if (t == L"label" || t == L"text") return std::make_unique<Label>();
  if (t == L"button") return std::make_unique<Button>();
  if (t == L"checkbox" || t == L"option") return std::make_unique<CheckBox>();
  if (t == L"edit") return std::make_unique<Edit>();
  if (t == L"progress") return std::make_unique<Progress>();
  if (t == L"container") return std::make_unique<Container>();
  if (t == L"verticallayout") return std::make_unique<VerticalLayout>();
  if (t == L"horizontallayout") return std::make_unique<HorizontalLayout>();
  if (t == L"tablayout") return std::make_unique<TabLayout>();
  return nullptr;
}

std::unique_ptr<Control> LayoutBuilder::Build(const std::string& xml, PaintManager& manager,
                                              const CustomFactory& custom, std::string* error) {
  pugi::xml_document doc;
  pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    if (error) *error = std::string("layout not readable: ") + parsed.description();
    return nullptr;
  }
  pugi::xml_node window = doc.document_element();
  if (!window || !EqualsNoCase(Wide(window.name()), L"Window")) {
    if (error) *error = "layout has no Window element";
    return nullptr;
  }
  WindowAttributes& wa = manager.GetWindowAttributes();
  for (const pugi::xml_attribute& attr : window.attributes()) {
    std::wstring name = ToLower(Wide(attr.name()));
    std::wstring value = Wide(attr.value());
    wa.all[name] = value;
    if (name == L"size") {
      wa.size = ParseSize(value);
    } else if (name == L"caption") {
      wa.caption = ParseRect(value);
    } else if (name == L"roundcorner") {
      wa.roundCorner = ParseSize(value);
    } else if (name == L"mininfo") {
      wa.minSize = ParseSize(value);
    } else if (name == L"maxinfo") {
      wa.maxSize = ParseSize(value);
    }
  }
  BuildContext ctx{&custom, {}};
  std::unique_ptr<Control> root;
  for (const pugi::xml_node& child : window.children()) {
    if (child.type() != pugi::node_element) continue;
    std::wstring tag = Wide(child.name());
    if (EqualsNoCase(tag, L"Font")) {
      FontInfo font;
      font.face = Wide(child.attribute("name").value());
      font.size = child.attribute("size").as_int(12);
      font.bold = ParseBool(Wide(child.attribute("bold").value()));
      font.underline = ParseBool(Wide(child.attribute("underline").value()));
      font.italic = ParseBool(Wide(child.attribute("italic").value()));
      manager.AddFont(child.attribute("id").as_int(0), font,
                      ParseBool(Wide(child.attribute("default").value())));
    } else if (EqualsNoCase(tag, L"Default")) {
      ctx.defaults[ToLower(Wide(child.attribute("name").value()))] =
          Wide(child.attribute("value").value());
    } else if (!IsLayoutMetaTag(tag) && !root) {
      root = BuildNode(child, ctx);
    }
  }
  if (!root) {
    if (error) *error = "layout has no control";
    return nullptr;
  }
  return root;
}

}  // namespace qui
