// varnelo-panel: a scripted host for the Varnelo control's settings panel.
//
// Places the control (creation, first placement, show), applies the actions
// of the command line in their order as a user or a host would, and prints
// what a user would then see: every widget, the tabs, and the events since
// show (message boxes, change notifications, dialogs with their answers,
// reports). For documentation, for reproducing a report, and for end-to-end
// tests of the panel without a display.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "control/control_internals.h"
#include "panel/panel.h"
#include "varnelo/property_registry.h"
#include "varnelo/testing.h"
#include "varnelo/varnelo.h"

using namespace varnelo;

namespace {

const char* const kUsage =
    "usage: varnelo-panel [--set PROPERTY=VALUE] [--click NAME] [--type NAME=TEXT] [--pick NAME=INDEX]\n"
    "                     [--key NAME=KEYCODE] [--answer DIALOG=VALUE] ... [--json]\n"
    "\n"
    "  Actions run in the order given, after the control is placed and shown.\n"
    "  NAME is a widget's full name: optFormat(3), chkOption(10), txtCommitInt, cmdHeader(1), cboPriority.\n"
    "  --set P=V        write a published property as a host would (colours decimal or 0x hex,\n"
    "                   fonts Name,Size[,bold][,italic])\n"
    "  --click NAME     click a button, check box or option button as a user would\n"
    "                   (a widget the user cannot reach ignores it)\n"
    "  --type NAME=T    replace a text box's text by typing (into a list: key presses, one a character)\n"
    "  --pick NAME=I    click entry I (from 0) of a list\n"
    "  --key NAME=K     press key code K in a list (38 up, 40 down; letters and digits also type)\n"
    "  --answer D=V     answer the next dialog of kind D: file=PATH, color=VALUE, font=Name,Size[,bold][,italic];\n"
    "                   an empty value cancels (unanswered dialogs are cancelled too)\n"
    "  --json           print one JSON object instead of readable lines\n"
    "\n"
    "Exit status: 0, 64 for a bad command line, 1 when the control cannot be placed.\n";

struct UsageError {
    std::string message;
};

struct Action {
    std::string kind;  // "set", "click", "type", "pick", "key", "answer"
    std::string name;
    std::string value;
};

// One thing the user saw or the host heard, in order.
struct Event {
    std::string type;  // "message", "notify", "dialog", "report"
    std::map<std::string, std::string> text;
    std::optional<int64_t> number;      // a message's style
    std::optional<std::string> answer;  // a dialog's answer as text
    std::optional<int64_t> answerNumber;
    bool answered = false;
};

std::string fontText(const Font& f) {
    std::string s = fontCaption(f);
    if (f.bold) s += ",bold";
    if (f.italic) s += ",italic";
    return s;
}

std::optional<OLE_COLOR> parseColor(const std::string& text) {
    std::string digits = text;
    int base = 10;
    if (digits.size() > 2 && (digits.compare(0, 2, "0x") == 0 || digits.compare(0, 2, "0X") == 0 ||
                              digits.compare(0, 2, "&H") == 0 || digits.compare(0, 2, "&h") == 0)) {
        digits = digits.substr(2);
        base = 16;
    }
    if (digits.empty()) return std::nullopt;
    char* end = nullptr;
    unsigned long long v = std::strtoull(digits.c_str(), &end, base);
    if (*end != '\0' || digits[0] == '-' || digits[0] == '+' || v > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<OLE_COLOR>(v);
}

std::optional<int> parseInt(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1000000 || v > 1000000) return std::nullopt;
    return static_cast<int>(v);
}

// Message boxes, dialogs and reports become events; dialogs take the
// scripted answers.
class ScriptDesktop : public Desktop {
public:
    explicit ScriptDesktop(std::vector<Event>& events) : events_(events) {}

    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<OLE_COLOR>> colorAnswers;
    std::deque<std::optional<Font>> fontAnswers;

    int messageBox(const std::string& text, const std::string& title, int style) override {
        Event e{"message", {{"title", title}, {"text", text}}, style, {}, {}, false};
        events_.push_back(e);
        return 1;
    }
    void showWait(const std::string&) override {}
    void closeWait() override {}
    void openDocument(const std::string&, uintptr_t) override {}
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override {
        auto answer = take(fileAnswers);
        Event e{"dialog", {{"kind", "file"}}, {}, answer, {}, true};
        events_.push_back(e);
        return answer;
    }
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR, int) override {
        auto answer = take(colorAnswers);
        Event e{"dialog", {{"kind", "color"}}, {}, {}, {}, true};
        if (answer) e.answerNumber = *answer;
        events_.push_back(e);
        return answer;
    }
    std::optional<Font> fontDialog(const Font&, int) override {
        auto answer = take(fontAnswers);
        Event e{"dialog", {{"kind", "font"}}, {}, {}, {}, true};
        if (answer) e.answer = fontText(*answer);
        events_.push_back(e);
        return answer;
    }
    void showReport(const std::string& report) override {
        events_.push_back(Event{"report", {{"text", report}}, {}, {}, {}, false});
    }

private:
    template <class T>
    static std::optional<T> take(std::deque<std::optional<T>>& q) {
        if (q.empty()) return std::nullopt;
        auto v = q.front();
        q.pop_front();
        return v;
    }
    std::vector<Event>& events_;
};

class ScriptHost : public RecordingHost {
public:
    explicit ScriptHost(std::vector<Event>& events) : events_(events) {}
    void propertyChanged(const std::string& key) override {
        events_.push_back(Event{"notify", {{"key", key}}, {}, {}, {}, false});
    }

private:
    std::vector<Event>& events_;
};

std::vector<Action> parseArgs(int argc, char** argv, bool& json) {
    std::vector<Action> actions;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--json") {
            json = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        static const std::map<std::string, std::string> kinds = {{"--set", "set"},   {"--click", "click"},
                                                                  {"--type", "type"}, {"--pick", "pick"},
                                                                  {"--key", "key"},   {"--answer", "answer"}};
        auto kind = kinds.find(a);
        if (kind == kinds.end()) throw UsageError{"unknown option \"" + a + "\""};
        if (i + 1 >= argc) throw UsageError{a + " needs a value"};
        std::string arg = argv[++i];
        if (kind->second == "click") {
            if (arg.empty()) throw UsageError{"--click needs a widget name"};
            actions.push_back({"click", arg, ""});
            continue;
        }
        auto eq = arg.find('=');
        if (eq == std::string::npos || eq == 0) throw UsageError{a + " needs NAME=VALUE, got \"" + arg + "\""};
        actions.push_back({kind->second, arg.substr(0, eq), arg.substr(eq + 1)});
    }
    return actions;
}

// ---- Output.

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// A widget's state as (key, JSON value) pairs, keys absent where its kind has
// no such state.
std::vector<std::pair<std::string, std::string>> widgetState(const ui::Widget& w) {
    auto b = [](bool v) { return std::string(v ? "true" : "false"); };
    std::vector<std::pair<std::string, std::string>> out;
    out.emplace_back("container", jsonString(w.container()));
    const auto* text = dynamic_cast<const ui::TextBox*>(&w);
    const auto* combo = dynamic_cast<const ui::ComboBox*>(&w);
    if (!text && !combo) out.emplace_back("caption", jsonString(w.caption()));
    out.emplace_back("toolTip", jsonString(w.toolTip()));
    out.emplace_back("enabled", b(w.enabled()));
    out.emplace_back("visible", b(w.visible()));
    out.emplace_back("effectiveEnabled", b(w.effectiveEnabled()));
    out.emplace_back("effectiveVisible", b(w.effectiveVisible()));
    if (const auto* c = dynamic_cast<const ui::CheckBox*>(&w)) out.emplace_back("value", std::to_string(c->value()));
    if (const auto* o = dynamic_cast<const ui::OptionButton*>(&w)) out.emplace_back("value", b(o->value()));
    if (text) out.emplace_back("text", jsonString(text->text()));
    if (combo) {
        out.emplace_back("text", jsonString(combo->text()));
        std::string list = "[";
        for (size_t i = 0; i < combo->list().size(); ++i) list += (i ? "," : "") + jsonString(combo->list()[i]);
        out.emplace_back("list", list + "]");
        out.emplace_back("listIndex", std::to_string(combo->listIndex()));
    }
    out.emplace_back("backColor", std::to_string(w.backColor()));
    if (w.font()) out.emplace_back("font", jsonString(fontText(*w.font())));
    return out;
}

std::vector<std::pair<std::string, std::string>> eventFields(const Event& e) {
    std::vector<std::pair<std::string, std::string>> out{{"type", jsonString(e.type)}};
    static const char* const order[] = {"title", "text", "key", "kind"};
    for (const char* k : order)
        if (auto it = e.text.find(k); it != e.text.end()) out.emplace_back(k, jsonString(it->second));
    if (e.number) out.emplace_back("style", std::to_string(*e.number));
    if (e.answered) {
        if (e.answer) out.emplace_back("answer", jsonString(*e.answer));
        else if (e.answerNumber) out.emplace_back("answer", std::to_string(*e.answerNumber));
        else out.emplace_back("answer", "null");
    }
    return out;
}

void printJson(Panel& panel, const std::vector<Event>& events) {
    std::ostringstream o;
    o << "{\"widgets\": {";
    bool first = true;
    panel.forEachWidget([&](ui::Widget& w) {
        o << (first ? "\n  " : ",\n  ") << jsonString(w.fullName()) << ": {";
        first = false;
        bool firstKey = true;
        for (const auto& [k, v] : widgetState(w)) {
            o << (firstKey ? "" : ", ") << jsonString(k) << ": " << v;
            firstKey = false;
        }
        o << "}";
    });
    o << "},\n \"tabs\": [";
    for (int i = 0; i < panel.SSTab1.tabCount(); ++i) {
        const auto& t = panel.SSTab1.tab(i);
        o << (i ? ", " : "") << "{\"caption\": " << jsonString(t.caption)
          << ", \"enabled\": " << (t.enabled ? "true" : "false") << ", \"visible\": " << (t.visible ? "true" : "false")
          << "}";
    }
    o << "],\n \"currentTab\": " << panel.SSTab1.currentTab() << ",\n \"events\": [";
    for (size_t i = 0; i < events.size(); ++i) {
        o << (i ? ",\n  " : "\n  ") << "{";
        bool firstKey = true;
        for (const auto& [k, v] : eventFields(events[i])) {
            o << (firstKey ? "" : ", ") << jsonString(k) << ": " << v;
            firstKey = false;
        }
        o << "}";
    }
    o << "]}\n";
    std::cout << o.str();
}

void printLines(Panel& panel, const std::vector<Event>& events) {
    panel.forEachWidget([&](ui::Widget& w) {
        std::cout << w.fullName();
        for (const auto& [k, v] : widgetState(w)) std::cout << " " << k << "=" << v;
        std::cout << "\n";
    });
    for (int i = 0; i < panel.SSTab1.tabCount(); ++i) {
        const auto& t = panel.SSTab1.tab(i);
        std::cout << "tab " << i << " caption=" << jsonString(t.caption) << " enabled=" << (t.enabled ? "true" : "false")
                  << " visible=" << (t.visible ? "true" : "false") << (panel.SSTab1.currentTab() == i ? " current" : "")
                  << "\n";
    }
    for (const Event& e : events) {
        std::cout << "event";
        for (const auto& [k, v] : eventFields(e)) std::cout << " " << k << "=" << v;
        std::cout << "\n";
    }
}

// ---- Actions.

ui::Widget* findWidget(Panel& panel, const std::string& name) {
    ui::Widget* found = nullptr;
    panel.forEachWidget([&](ui::Widget& w) {
        if (w.fullName() == name) found = &w;
    });
    return found;
}

template <class W>
W& widgetOf(Panel& panel, const Action& a, const char* what) {
    ui::Widget* w = findWidget(panel, a.name);
    if (!w) throw UsageError{"no widget named \"" + a.name + "\""};
    auto* typed = dynamic_cast<W*>(w);
    if (!typed) throw UsageError{"--" + a.kind + " needs " + what + ", \"" + a.name + "\" is not one"};
    return *typed;
}

// Checks an action without running it, so a bad command line changes nothing.
void check(Varnelo& control, const Action& a) {
    Panel& panel = panelOf(control);
    if (a.kind == "set") {
        if (!PropertyRegistry::find(a.name)) throw UsageError{"unknown property \"" + a.name + "\""};
    } else if (a.kind == "click") {
        ui::Widget* w = findWidget(panel, a.name);
        if (!w) throw UsageError{"no widget named \"" + a.name + "\""};
        if (!dynamic_cast<ui::CommandButton*>(w) && !dynamic_cast<ui::CheckBox*>(w) &&
            !dynamic_cast<ui::OptionButton*>(w))
            throw UsageError{"\"" + a.name + "\" cannot be clicked"};
    } else if (a.kind == "type") {
        ui::Widget* w = findWidget(panel, a.name);
        if (!w) throw UsageError{"no widget named \"" + a.name + "\""};
        if (!dynamic_cast<ui::TextBox*>(w) && !dynamic_cast<ui::ComboBox*>(w))
            throw UsageError{"\"" + a.name + "\" takes no typing"};
    } else if (a.kind == "pick" || a.kind == "key") {
        widgetOf<ui::ComboBox>(panel, a, "a list");
        if (!parseInt(a.value)) throw UsageError{"--" + a.kind + " needs a number, got \"" + a.value + "\""};
    } else if (a.kind == "answer") {
        if (a.name == "file") return;
        if (a.name == "color") {
            if (!a.value.empty() && !parseColor(a.value)) throw UsageError{"bad colour \"" + a.value + "\""};
        } else if (a.name == "font") {
            if (a.value.empty()) return;
            try {
                parseFontText(a.value);
            } catch (const Error& e) {
                throw UsageError{"bad font \"" + a.value + "\": " + e.description()};
            }
        } else {
            throw UsageError{"--answer takes file, color or font, not \"" + a.name + "\""};
        }
    }
}

bool isCharacterKey(int code) { return code == 32 || (code >= 48 && code <= 57) || (code >= 65 && code <= 90); }

void run(Varnelo& control, ScriptDesktop& desktop, const Action& a) {
    Panel& panel = panelOf(control);
    if (a.kind == "set") {
        try {
            PropertyRegistry::set(control, a.name, Variant(a.value));
        } catch (const Error& e) {
            // This host shows an error it receives in the report window.
            desktop.showReport(e.description());
        }
    } else if (a.kind == "click") {
        ui::Widget* w = findWidget(panel, a.name);
        if (auto* b = dynamic_cast<ui::CommandButton*>(w)) b->click();
        else if (auto* c = dynamic_cast<ui::CheckBox*>(w)) c->click();
        else if (auto* o = dynamic_cast<ui::OptionButton*>(w)) o->click();
    } else if (a.kind == "type") {
        ui::Widget* w = findWidget(panel, a.name);
        if (auto* t = dynamic_cast<ui::TextBox*>(w)) {
            t->type(a.value);
        } else if (auto* c = dynamic_cast<ui::ComboBox*>(w)) {
            for (unsigned char ch : a.value) c->keyPress(ch);
        }
    } else if (a.kind == "pick") {
        widgetOf<ui::ComboBox>(panel, a, "a list").pick(*parseInt(a.value));
    } else if (a.kind == "key") {
        auto& list = widgetOf<ui::ComboBox>(panel, a, "a list");
        int code = *parseInt(a.value);
        list.keyDown(code);
        if (isCharacterKey(code)) list.keyPress(code);
    } else if (a.kind == "answer") {
        if (a.name == "file") desktop.fileAnswers.push_back(a.value.empty() ? std::nullopt : std::optional(a.value));
        else if (a.name == "color")
            desktop.colorAnswers.push_back(a.value.empty() ? std::nullopt : parseColor(a.value));
        else desktop.fontAnswers.push_back(a.value.empty() ? std::nullopt : std::optional(*parseFontText(a.value)));
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    std::vector<Action> actions;
    try {
        actions = parseArgs(argc, argv, json);
    } catch (const UsageError& e) {
        std::cerr << "varnelo-panel: " << e.message << "\n\n" << kUsage;
        return 64;
    }

    std::vector<Event> events;
    ScriptHost host(events);
    ScriptDesktop desktop(events);
    try {
        Varnelo control(host, desktop);
        control.UserControl_Initialize();
        control.UserControl_InitProperties();
        control.UserControl_Resize();
        control.UserControl_Show();
        events.clear();  // what the actions cause, not the placement
        try {
            for (const Action& a : actions) check(control, a);
        } catch (const UsageError& e) {
            std::cerr << "varnelo-panel: " << e.message << "\n\n" << kUsage;
            return 64;
        }
        for (const Action& a : actions) run(control, desktop, a);
        // No hide or end: the printed panel is the one the user still sees,
        // and the driver leaves no settings file behind.
        if (json) printJson(panelOf(control), events);
        else printLines(panelOf(control), events);
        return 0;
    } catch (const Error& e) {
        std::cerr << e.description() << std::endl;
        return 1;
    }
}
