// The terminal UI (see terminal_ui.h): the host operations as modal loops
// over the painters, with keys from key_input and output through
// curses_screen.
//
// The screen is always painted whole: the scene (what stays between calls)
// and above it the stack of open modal screens (a menu, the help window
// over it, ...). A resize repaints the same way for the new size, at once
// whatever the plug-in is doing: a loop that waits for keys is woken by it,
// and while none runs (a dial's pause, a box without buttons) a thread of
// the UI's own repaints.
#include "host/terminal/terminal_ui.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <thread>

#include "host/terminal/canvas.h"
#include "host/terminal/curses_screen.h"
#include "host/terminal/dialog_model.h"
#include "host/terminal/editor_launch.h"
#include "host/terminal/help_file.h"
#include "host/terminal/key_input.h"
#include "host/terminal/menu_model.h"
#include "host/terminal/oem_codec.h"
#include "host/terminal/pager.h"
#include "host/terminal/painters.h"
#include "host/terminal/scene.h"

namespace {

std::string_view FieldText(const char* field, size_t size) {
  const void* end = std::memchr(field, 0, size);
  return std::string_view(field, end ? static_cast<size_t>(static_cast<const char*>(end) - field) : size);
}

bool IsEdit(const HostDialogItem& item) { return item.Type == DI_EDIT || item.Type == DI_PSWEDIT; }

class CursesTerminalUi final : public TerminalUi {
 public:
  ~CursesTerminalUi() override {
    if (!watcher_.joinable()) return;
    stopping_ = true;
    screen_.WakeWatcher();
    watcher_.join();
  }

  bool Start(const TerminalUiOptions& options, std::string& error) {
    if (!codec_.Open(options.code_page, error)) return false;
    help_loaded_ = help_.Load(options.help_path, help_error_);
    if (!screen_.Start(error)) return false;
    PrepareKeys();
    Render();
    // The watcher takes no signals: they stay with the host's threads.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    watcher_ = std::thread([this] { WatchSize(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
  }

  int Menu(const MenuCall& call, int& break_index) override;
  int Dialog(const DialogCall& call, HostDialogItem* items, int count) override;
  int Message(unsigned flags, const char* help, const std::vector<std::string>& items, int buttons) override;
  void SaveScreen(int handle, int x1, int y1, int x2, int y2) override;
  void RestoreScreen(int handle) override;
  void Text(int x, int y, int color, const char* text) override;
  int Viewer(const FileCall& call) override;
  int Editor(const FileCall& call) override;
  int PollVirtualKey() override;
  std::string OemText(const std::string& utf8) const override { return codec_.FromUtf8(utf8); }

 private:
  using Painter = std::function<void(Canvas&)>;

  // A modal screen on top for as long as it lives; when it goes, the
  // screen shows what is below it at once.
  class Modal {
   public:
    Modal(CursesTerminalUi& ui, Painter painter) : ui_(ui) { ui_.modals_.push_back(std::move(painter)); }
    ~Modal() {
      ui_.modals_.pop_back();
      ui_.Render();
    }
    Modal(const Modal&) = delete;
    Modal& operator=(const Modal&) = delete;

   private:
    CursesTerminalUi& ui_;
  };

  void Render() {
    canvas_.Resize(screen_.Width(), screen_.Height());
    canvas_.HideCursor();
    scene_.Paint(canvas_, codec_);
    for (const Painter& painter : modals_) painter(canvas_);
    screen_.Show(canvas_);
  }

  // Paints and waits for the next key. A resize is handled here (the loop
  // paints again on its next turn) and comes back as a Resize key.
  Key NextKey() {
    Render();
    return Read(-1);
  }

  // The one place keys are read; the caller holds the mutex.
  Key Read(int timeout_ms) {
    const Key key = ReadKey(timeout_ms, screen_.ResizeFd());
    if (key.kind == Key::Kind::Resize) screen_.FollowSize();
    return key;
  }

  // The watcher thread: repaints for a new size while no call of the UI
  // runs. While one does (a menu waiting for keys), it waits for the mutex;
  // the call has handled the resize itself by then.
  void WatchSize() {
    for (;;) {
      pollfd fd{screen_.WatchFd(), POLLIN, 0};
      if (poll(&fd, 1, -1) < 0 && errno != EINTR) return;
      CursesScreen::Drain(screen_.WatchFd());
      if (stopping_) return;
      std::lock_guard<std::mutex> lock(mutex_);
      if (screen_.FollowSize()) Render();
    }
  }

  int RunMessage(unsigned flags, const char* help, const std::vector<std::string>& items, int buttons);
  void Notice(const std::string& title, const std::vector<std::string>& lines);
  void ShowHelp(const char* topic);

  std::mutex mutex_;
  OemCodec codec_;
  HelpFile help_;
  bool help_loaded_ = false;
  std::string help_error_;
  CursesScreen screen_;
  Canvas canvas_;
  Scene scene_;
  std::vector<Painter> modals_;
  std::atomic<bool> stopping_{false};
  std::thread watcher_;
};

int CursesTerminalUi::Menu(const MenuCall& call, int& break_index) {
  std::lock_guard<std::mutex> lock(mutex_);
  break_index = -1;
  std::vector<MenuModel::Row> rows;
  rows.reserve(static_cast<size_t>(std::max(call.row_count, 0)));
  int preferred = -1;
  for (int r = 0; r < call.row_count; ++r) {
    const HostMenuItem& item = call.rows[r];
    MenuModel::Row row;
    row.label = ParseHotKey(FieldText(item.Text, sizeof item.Text));
    row.checked = item.Checked != 0;
    row.separator = item.Separator != 0;
    if (preferred < 0 && item.Selected != 0 && !row.separator) preferred = r;
    rows.push_back(std::move(row));
  }
  MenuModel model(std::move(rows), preferred);
  Modal modal(*this, [&](Canvas& canvas) { PaintMenu(canvas, codec_, call, model); });
  for (;;) {
    const Key key = NextKey();
    if (key.kind == Key::Kind::None || key.kind == Key::Kind::Resize) continue;
    if (key.vk != 0) {
      for (size_t i = 0; i < call.break_keys.size(); ++i) {
        if (call.break_keys[i] == key.vk) {
          break_index = static_cast<int>(i);
          return model.Cursor();
        }
      }
    }
    if (key.kind == Key::Kind::Char) {
      const std::vector<int> matches = model.HotKeyRows(codec_.FromCodePoint(key.ch));
      if (matches.size() == 1) return matches[0];
      // Several rows share the key (rows 1 and 10 both have "1"): step to
      // the next of them and let Enter decide.
      if (!matches.empty()) {
        int next = matches[0];
        for (int m : matches) {
          if (m > model.Cursor()) {
            next = m;
            break;
          }
        }
        model.MoveTo(next);
      }
      continue;
    }
    switch (key.vk) {
      case vk::kEscape: return -1;
      case vk::kReturn:
        if (model.Cursor() >= 0) return model.Cursor();
        break;
      case vk::kUp: model.Up(); break;
      case vk::kDown: model.Down(); break;
      case vk::kPrior: model.PageUp(); break;
      case vk::kNext: model.PageDown(); break;
      case vk::kHome: model.Home(); break;
      case vk::kEnd: model.End(); break;
      case vk::kF1: ShowHelp(call.help); break;
      default: break;
    }
  }
}

int CursesTerminalUi::Dialog(const DialogCall& call, HostDialogItem* items, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  count = items == nullptr ? 0 : std::max(count, 0);
  std::vector<EditField> fields(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    if (IsEdit(items[i])) fields[static_cast<size_t>(i)] = EditField(ItemText(items[i]));
  int focus = InitialFocus(items, count);
  DialogView view{&call, items, count, &fields, focus};
  auto finish = [&](int result) {
    for (int i = 0; i < count; ++i) {
      if (!IsEdit(items[i])) continue;
      const std::string& text = fields[static_cast<size_t>(i)].Text();
      std::memset(items[i].Data, 0, sizeof items[i].Data);
      std::memcpy(items[i].Data, text.data(), std::min(text.size(), sizeof items[i].Data - 1));
    }
    return result;
  };
  Modal modal(*this, [&](Canvas& canvas) {
    view.focus = focus;
    PaintDialog(canvas, codec_, view);
  });
  for (;;) {
    const Key key = NextKey();
    if (key.kind == Key::Kind::None || key.kind == Key::Kind::Resize) continue;
    HostDialogItem* item = focus >= 0 ? &items[focus] : nullptr;
    EditField* field = item != nullptr && IsEdit(*item) ? &fields[static_cast<size_t>(focus)] : nullptr;
    if (key.kind == Key::Kind::Char) {
      if (field != nullptr) {
        field->Insert(codec_.FromCodePoint(key.ch));
      } else if (key.ch == U' ' && item != nullptr) {
        if (item->Type == DI_BUTTON) return finish(focus);
        ToggleItem(items, count, focus);
      }
      continue;
    }
    switch (key.vk) {
      case vk::kEscape: return finish(-1);
      case vk::kReturn: return finish(EnterResult(items, count, focus));
      case vk::kF1: ShowHelp(call.help); break;
      case vk::kTab: focus = NextFocus(items, count, focus, key.shift ? -1 : 1); break;
      case vk::kUp: focus = NextFocus(items, count, focus, -1); break;
      case vk::kDown: focus = NextFocus(items, count, focus, 1); break;
      case vk::kLeft:
        if (field != nullptr)
          field->Left();
        else
          focus = NextFocus(items, count, focus, -1);
        break;
      case vk::kRight:
        if (field != nullptr)
          field->Right();
        else
          focus = NextFocus(items, count, focus, 1);
        break;
      case vk::kHome:
        if (field != nullptr) field->Home();
        break;
      case vk::kEnd:
        if (field != nullptr) field->End();
        break;
      case vk::kBack:
        if (field != nullptr) field->Backspace();
        break;
      case vk::kDelete:
        if (field != nullptr) field->Delete();
        break;
      default: break;
    }
  }
}

int CursesTerminalUi::RunMessage(unsigned flags, const char* help, const std::vector<std::string>& items, int buttons) {
  int focused = 0;
  Modal modal(*this, [&](Canvas& canvas) { PaintMessage(canvas, codec_, flags, items, buttons, focused); });
  for (;;) {
    const Key key = NextKey();
    switch (key.vk) {
      case vk::kEscape: return -1;
      case vk::kReturn:
      case vk::kSpace: return focused;
      case vk::kLeft: focused = (focused + buttons - 1) % buttons; break;
      case vk::kRight: focused = (focused + 1) % buttons; break;
      case vk::kTab: focused = (focused + (key.shift ? buttons - 1 : 1)) % buttons; break;
      case vk::kF1: ShowHelp(help); break;
      default: break;
    }
  }
}

void CursesTerminalUi::Notice(const std::string& title, const std::vector<std::string>& lines) {
  std::vector<std::string> items{title};
  items.insert(items.end(), lines.begin(), lines.end());
  items.emplace_back("OK");
  RunMessage(FMSG_WARNING, nullptr, items, 1);
}

int CursesTerminalUi::Message(unsigned flags, const char* help, const std::vector<std::string>& items, int buttons) {
  std::lock_guard<std::mutex> lock(mutex_);
  buttons = std::clamp(buttons, 0, std::max(static_cast<int>(items.size()) - 1, 0));
  if (buttons == 0) {
    // Drawn now, and left on the screen until a RestoreScreen covers it.
    scene_.AddBox(flags, items);
    Render();
    return -1;
  }
  return RunMessage(flags, help, items, buttons);
}

void CursesTerminalUi::SaveScreen(int handle, int x1, int y1, int x2, int y2) {
  std::lock_guard<std::mutex> lock(mutex_);
  scene_.Save(handle, x1, y1, x2, y2, screen_.Width(), screen_.Height());
}

void CursesTerminalUi::RestoreScreen(int handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  scene_.Restore(handle, screen_.Width(), screen_.Height(), codec_);
  Render();
}

void CursesTerminalUi::Text(int x, int y, int color, const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (text == nullptr) {
    Render();
    return;
  }
  scene_.AddText(x, y, static_cast<uint8_t>(color & 0xFF), codec_.Glyphs(text));
}

int CursesTerminalUi::Viewer(const FileCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::error_code ignored;
  std::ifstream in(call.local_path, std::ios::binary);
  if (!std::filesystem::is_regular_file(call.local_path, ignored) || !in) {
    Notice("Viewer", {"Cannot open the file", call.path});
    return 0;
  }
  std::ostringstream content;
  content << in.rdbuf();
  const std::vector<std::string> lines = SplitLines(content.str());
  const std::string title = call.title != nullptr ? call.title : call.path;
  ScrollModel scroll;
  Modal modal(*this, [&](Canvas& canvas) { PaintViewer(canvas, codec_, title, lines, scroll); });
  for (;;) {
    const Key key = NextKey();
    if (key.kind == Key::Kind::Char && (key.ch == U'q' || key.ch == U'Q')) return 1;
    switch (key.vk) {
      case vk::kEscape:
      case vk::kF3:
      case vk::kF10: return 1;
      case vk::kUp: scroll.Up(); break;
      case vk::kDown:
      case vk::kReturn: scroll.Down(); break;
      case vk::kPrior: scroll.PageUp(); break;
      case vk::kNext:
      case vk::kSpace: scroll.PageDown(); break;
      case vk::kHome: scroll.Home(); break;
      case vk::kEnd: scroll.End(); break;
      case vk::kLeft: scroll.Left(8); break;
      case vk::kRight: scroll.Right(8); break;
      default: break;
    }
  }
}

int CursesTerminalUi::Editor(const FileCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string command = ChooseEditor(std::getenv("VISUAL"), std::getenv("EDITOR"), std::getenv("PATH"));
  if (command.empty()) {
    Notice("Editor", {"No editor was found for", call.path, "Set VISUAL or EDITOR to the editor you use."});
    return 0;
  }
  std::string error;
  screen_.Suspend();
  const EditOutcome outcome = RunEditor(command, call.local_path, call.line, error);
  screen_.Resume();
  Render();
  if (outcome == EditOutcome::NotRun) {
    Notice("Editor", {"The editor could not be started:", error});
    return 0;
  }
  return outcome == EditOutcome::Changed ? 1 : 2;
}

int CursesTerminalUi::PollVirtualKey() {
  std::lock_guard<std::mutex> lock(mutex_);
  const Key key = Read(0);
  if (key.kind == Key::Kind::Resize) Render();
  return key.kind == Key::Kind::Resize ? 0 : key.vk;
}

void CursesTerminalUi::ShowHelp(const char* topic) {
  std::string title = "Help";
  std::vector<std::string> lines;
  const HelpTopic* found = topic != nullptr && help_loaded_ ? help_.Find(topic) : nullptr;
  if (found != nullptr) {
    title = found->title;
    lines = found->lines;
  } else if (!help_loaded_) {
    lines = {"The help file could not be read:", help_error_};
  } else if (topic == nullptr) {
    lines = {"There is no help for this screen."};
  } else {
    lines = {std::string("The help file has no topic \"") + topic + "\"."};
  }
  ScrollModel scroll;
  Modal modal(*this, [&](Canvas& canvas) { PaintHelp(canvas, codec_, title, lines, scroll); });
  for (;;) {
    const Key key = NextKey();
    switch (key.vk) {
      case vk::kEscape:
      case vk::kF1:
      case vk::kF10:
      case vk::kReturn: return;
      case vk::kUp: scroll.Up(); break;
      case vk::kDown: scroll.Down(); break;
      case vk::kPrior: scroll.PageUp(); break;
      case vk::kNext:
      case vk::kSpace: scroll.PageDown(); break;
      case vk::kHome: scroll.Home(); break;
      case vk::kEnd: scroll.End(); break;
      default: break;
    }
  }
}

}  // namespace

std::unique_ptr<TerminalUi> MakeTerminalUi(const TerminalUiOptions& options, std::string& error) {
  auto ui = std::make_unique<CursesTerminalUi>();
  if (!ui->Start(options, error)) return nullptr;
  return ui;
}
