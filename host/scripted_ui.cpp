// The scripted UI (see scripted_ui.h and docs/kelhost.md).
#include "host/scripted_ui.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

bool IsEditField(const HostDialogItem& item) { return item.Type == DI_EDIT || item.Type == DI_PSWEDIT; }
bool IsToggle(const HostDialogItem& item) { return item.Type == DI_CHECKBOX || item.Type == DI_RADIOBUTTON; }

// Selecting a radio button clears the others of its group: the run of radio
// buttons that starts at one flagged DIF_GROUP (or after a non-radio item)
// and ends before the next such start.
void ClearRadioGroup(HostDialogItem* items, int count, int chosen) {
  int first = chosen;
  while (first > 0 && (items[first].Flags & DIF_GROUP) == 0 && items[first - 1].Type == DI_RADIOBUTTON) --first;
  for (int i = first; i < count && items[i].Type == DI_RADIOBUTTON; ++i) {
    if (i > first && (items[i].Flags & DIF_GROUP) != 0) break;
    if (i != chosen) items[i].Selected = 0;
  }
}

}  // namespace

ScriptedUi::ScriptedUi(std::vector<ScriptAnswer> answers, Transcript& transcript)
    : answers_(std::move(answers)), transcript_(transcript) {}

void ScriptedUi::Misfit(const ScriptAnswer& answer, const std::string& why) {
  transcript_.Error("script line " + std::to_string(answer.line) + ": " + why + ": " + answer.source);
}

const ScriptAnswer* ScriptedUi::Next(ScriptAnswer::Kind kind, const char* call_name) {
  if (next_ >= answers_.size()) {
    transcript_.Error(std::string("script ended before a ") + call_name + " call; answered Esc");
    if (++calls_after_end_ >= kMaxCallsAfterEnd) {
      transcript_.Error("the plug-in keeps calling after the script ended; stopping");
      std::exit(3);
    }
    return nullptr;
  }
  const ScriptAnswer& answer = answers_[next_++];
  if (answer.kind != kind) {
    Misfit(answer, std::string("a ") + ScriptKindName(answer.kind) + " answer for a " + call_name +
                       " call; answered Esc");
    return nullptr;
  }
  return &answer;
}

int ScriptedUi::Menu(const MenuCall& call, int& break_index) {
  break_index = -1;
  const ScriptAnswer* a = Next(ScriptAnswer::Kind::Menu, "Menu");
  if (a == nullptr || a->esc) return -1;
  if (a->index >= call.row_count) {
    Misfit(*a, "the menu has " + std::to_string(call.row_count) + " rows; answered Esc");
    return -1;
  }
  if (call.rows[a->index].Separator != 0) {
    Misfit(*a, "row " + std::to_string(a->index) + " is a separator; answered Esc");
    return -1;
  }
  if (a->key == ScriptAnswer::Key::Enter) return a->index;
  int found = -1;
  if (a->key == ScriptAnswer::Key::Index) {
    if (a->key_value < static_cast<int>(call.break_keys.size())) found = a->key_value;
  } else {
    for (size_t i = 0; i < call.break_keys.size(); ++i) {
      if (call.break_keys[i] == a->key_value) {
        found = static_cast<int>(i);
        break;
      }
    }
  }
  if (found < 0) {
    Misfit(*a, "the key is not in the menu's break-key list; answered Esc");
    return -1;
  }
  break_index = found;
  return a->index;
}

int ScriptedUi::Dialog(const DialogCall&, HostDialogItem* items, int count) {
  const ScriptAnswer* a = Next(ScriptAnswer::Kind::Dialog, "Dialog");
  if (a == nullptr) return -1;
  // Check everything first, so that a misfit answer changes nothing.
  for (const auto& change : a->changes) {
    if (change.item >= count) {
      Misfit(*a, "the dialog has " + std::to_string(count) + " items; answered Esc");
      return -1;
    }
    const HostDialogItem& item = items[change.item];
    if (change.is_text ? !IsEditField(item) : !IsToggle(item)) {
      Misfit(*a, "item " + std::to_string(change.item) + " is not " +
                     (change.is_text ? "an edit field" : "a check box or radio button") + "; answered Esc");
      return -1;
    }
  }
  int closing = a->index;
  if (a->esc) {
    closing = -1;
  } else if (a->dialog_enter) {
    closing = -1;
    for (int i = 0; i < count && closing < 0; ++i)
      if (items[i].DefaultButton != 0) closing = i;
    if (closing < 0) {
      Misfit(*a, "the dialog has no default button; answered Esc");
      return -1;
    }
  } else if (closing >= count) {
    Misfit(*a, "the dialog has " + std::to_string(count) + " items; answered Esc");
    return -1;
  }
  for (const auto& change : a->changes) {
    HostDialogItem& item = items[change.item];
    if (change.is_text) {
      // An edit field holds at most 511 bytes and its terminating zero.
      std::memset(item.Data, 0, sizeof item.Data);
      std::memcpy(item.Data, change.text.data(), std::min(change.text.size(), sizeof item.Data - 1));
    } else {
      item.Selected = change.state;
      if (item.Type == DI_RADIOBUTTON && change.state != 0) ClearRadioGroup(items, count, change.item);
    }
  }
  return closing;
}

int ScriptedUi::Message(unsigned, const char*, const std::vector<std::string>& items, int buttons) {
  if (buttons <= 0) {
    boxes_.push_back(items);
    return -1;
  }
  const ScriptAnswer* a = Next(ScriptAnswer::Kind::Message, "Message");
  if (a == nullptr || a->esc) return -1;
  if (a->index >= buttons) {
    Misfit(*a, "the box has " + std::to_string(buttons) + " buttons; answered Esc");
    return -1;
  }
  return a->index;
}

void ScriptedUi::SaveScreen(int handle, int, int, int, int) { saved_[handle] = boxes_; }

void ScriptedUi::RestoreScreen(int handle) {
  auto it = saved_.find(handle);
  if (it == saved_.end()) return;
  boxes_ = std::move(it->second);
  saved_.erase(it);
}

void ScriptedUi::Text(int, int, int, const char*) {}

int ScriptedUi::Viewer(const FileCall& call) {
  // Only a file that can be read can be shown: a directory opens as a
  // stream on Linux but fails at the first read, as it fails on Windows.
  std::ifstream in(call.local_path, std::ios::binary);
  in.peek();
  return in.good() || in.eof() ? 1 : 0;
}

int ScriptedUi::Editor(const FileCall& call) {
  // Only an `edit` line answers an Editor call; anything else stays for the
  // calls that follow.
  if (next_ >= answers_.size() || answers_[next_].kind != ScriptAnswer::Kind::Edit) return 2;
  const ScriptAnswer& a = answers_[next_++];
  std::ofstream out(call.local_path, std::ios::binary | (a.edit_append ? std::ios::app : std::ios::trunc));
  out << a.edit_text;
  out.close();
  if (!out) {
    Misfit(a, "cannot write " + call.local_path);
    return 0;
  }
  return 1;
}

void ScriptedUi::ReportUnusedAnswers() {
  for (; next_ < answers_.size(); ++next_) Misfit(answers_[next_], "no call used this answer");
}
