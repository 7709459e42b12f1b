// The scripted UI: answers every interactive host call from a script
// (script.h) and reports, as transcript error lines, each answer that does
// not fit its call. Unusable answers are replaced by Esc.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/host_ui.h"
#include "host/script.h"
#include "host/transcript.h"

class ScriptedUi : public HostUi {
 public:
  // Interactive calls after the script has ended are answered with Esc and
  // reported; after this many of them the plug-in is taken to be looping
  // and the run ends.
  static constexpr int kMaxCallsAfterEnd = 200;

  // `transcript` receives the error lines and must outlive this object.
  ScriptedUi(std::vector<ScriptAnswer> answers, Transcript& transcript);

  int Menu(const MenuCall& call, int& break_index) override;
  int Dialog(const DialogCall& call, HostDialogItem* items, int count) override;
  int Message(unsigned flags, const char* help, const std::vector<std::string>& items, int buttons) override;
  void SaveScreen(int handle, int x1, int y1, int x2, int y2) override;
  void RestoreScreen(int handle) override;
  void Text(int x, int y, int color, const char* text) override;
  int Viewer(const FileCall& call) override;
  int Editor(const FileCall& call) override;

  // Reports every answer that no call consumed as an error. Call at the end.
  void ReportUnusedAnswers();
  // The boxes without buttons now on the screen, each as its item texts.
  const std::vector<std::vector<std::string>>& BoxesOnScreen() const { return boxes_; }

 private:
  // The next answer if it is of `kind`; otherwise reports the misfit (or the
  // end of the script) and returns null. A misfit answer is consumed.
  const ScriptAnswer* Next(ScriptAnswer::Kind kind, const char* call_name);
  void Misfit(const ScriptAnswer& answer, const std::string& why);

  std::vector<ScriptAnswer> answers_;
  size_t next_ = 0;
  int calls_after_end_ = 0;
  Transcript& transcript_;
  std::vector<std::vector<std::string>> boxes_;
  std::map<int, std::vector<std::vector<std::string>>> saved_;
};
