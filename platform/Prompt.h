#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

// Message box buttons, icons and answers, with the numbers the system uses.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_TYPEMASK = 0xF;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONSTOP = MB_ICONERROR;
constexpr unsigned MB_ICONHAND = MB_ICONERROR;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONEXCLAMATION = MB_ICONWARNING;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr unsigned MB_ICONMASK = 0xF0;
constexpr unsigned MB_DEFBUTTON1 = 0x000;
constexpr unsigned MB_DEFBUTTON2 = 0x100;
constexpr unsigned MB_DEFBUTTON3 = 0x200;
constexpr unsigned MB_DEFMASK = 0xF00;
constexpr unsigned MB_APPLMODAL = 0x0000;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr unsigned MB_SETFOREGROUND = 0x10000;
constexpr unsigned MB_TOPMOST = 0x40000;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// User prompts from code that has no window of its own. The window layer's
// implementation runs them on the GUI thread; it may be called from any thread.
class PromptService {
  public:
    virtual ~PromptService() = default;
    // Returns IDOK, IDCANCEL, IDYES, ...
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // An application dialog named by kind (for example "XmlNotUpdated") with its
    // arguments; returns the dialog's result and, when selection is given, the
    // chosen entry.
    virtual int Custom(const std::string& kind, const std::vector<std::string>& args, int* selection) = 0;
};

// Installs the service (nullptr: back to the built-in one, which answers IDCANCEL
// without asking). The service must outlive its installation.
void SetPromptService(PromptService* service);
PromptService& Prompts();

// Answers from a queue and records every question. Thread-safe. For tests.
class ScriptedPrompts : public PromptService {
  public:
    struct Question {
        std::string kind;  // "MessageBox" or the custom kind
        std::string text;
        std::string caption;
        unsigned flags = 0;
        std::vector<std::string> args;
    };

    // Queue the next answer (and the selection for Custom; -1 leaves it untouched).
    void PushAnswer(int answer, int selection = -1);
    // Answer given when the queue is empty (IDCANCEL unless changed).
    void SetDefaultAnswer(int answer);
    std::vector<Question> Asked() const;
    size_t AskedCount() const;
    size_t PendingAnswers() const;
    void Clear();

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int Custom(const std::string& kind, const std::vector<std::string>& args, int* selection) override;

  private:
    struct Answer {
        int answer;
        int selection;
    };
    Answer Next();

    mutable std::mutex mutex_;
    std::deque<Answer> answers_;
    std::vector<Question> asked_;
    int default_ = IDCANCEL;
};

}  // namespace platform
