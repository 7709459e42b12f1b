// Rows of the plug-in's menus.
#include "shell/menu_rows.h"

#include "shell/host_calls.h"

void SetNumberedRowText(char* field, size_t field_size, int number, const std::string& name) {
  CopyToField(field, field_size, "&" + std::to_string(number) + ". " + name);
}

HostMenuItem TextRow(const std::string& text) {
  HostMenuItem row{};
  CopyToField(row.Text, sizeof row.Text, text);
  return row;
}

HostMenuItem SeparatorRow() {
  HostMenuItem row{};
  row.Separator = -1;
  return row;
}
