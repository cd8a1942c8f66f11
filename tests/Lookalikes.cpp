#include "Lookalikes.h"

namespace {

std::string Bytes(uint64_t count, char fill) { return std::string(static_cast<size_t>(count), fill); }

}  // namespace

bool MakeLookalikes(const TempTree& tree, const std::string& tag, std::vector<Lookalike>* made) {
    const std::string t = "-" + tag;
    std::string deep = "chosen/deep" + t;
    for (int i = 0; i < 10; ++i) deep += "/level-" + std::to_string(i) + "-of-a-rather-deep-path";
    struct Item {
        std::string linux;  // as the host names it
        uint64_t bytes;
        char fill;
        bool folder;
        std::string twin;
    };
    std::vector<Item> items = {
        {"Māori" + t + ".txt", 1, 'm', false, "Maori" + t + ".txt"},
        {"Maori" + t + ".txt", 7, 'M', false, ""},
        {"a＼b" + t, 3, 'w', false, "a\\b" + t},
        {"a/b" + t, 5, 'b', true, ""},
        {"same" + t + " ", 2, 'S', false, "same" + t},
        {"same" + t, 4, 's', false, ""},
        {"dot" + t + ".", 6, 'D', false, "dot" + t},
        {"dot" + t, 8, 'd', false, ""},
        {"x／．．／．．／victim" + t + ".txt", 9, 'v', false, "..\\victim" + t + ".txt"},
        {"we?rd" + t + ".txt", 10, 'q', false, "weard" + t + ".txt"},
        {"weard" + t + ".txt", 12, 'e', false, ""},
        {"Фото" + t + "/снимок.jpg", 13, 'f', true, ""},
        {"aux.txt", 14, 'a', false, ""},
        {"apache" + t + "./x.jar", 15, 'j', true, "apache" + t},
        {"apache" + t + "/y.jar", 16, 'y', true, ""},
        {"🎞" + t + ".bin", 19, 'k', false, ""},
        {deep.substr(7) + "/leaf.bin", 18, 'l', true, ""},
    };
    std::string script = "mkdir -p chosen/a \"" + deep + "\" && printf 'VVVVVVVVVVV' > \"victim" + t + ".txt\"";
    for (const Item& item : items) {
        std::string file = "chosen/" + item.linux;
        size_t slash = file.rfind('/');
        script += " && mkdir -p \"" + file.substr(0, slash) + "\" && printf '" + Bytes(item.bytes, item.fill) +
                  "' > \"" + file + "\"";
    }
    if (!tree.Host(script)) return false;
    made->clear();
    for (const Item& item : items) {
        // The row is the top-level item: the file, or the folder holding it.
        std::string top = item.linux.substr(0, item.folder ? item.linux.find('/') : std::string::npos);
        if (top == "a") continue;  // the folder "a" is there to be missed
        std::string path = "chosen\\" + top;
        made->push_back({path, item.bytes, item.folder, item.twin.empty() ? "" : "chosen\\" + item.twin});
    }
    made->push_back({"chosen\\a", 5, true, ""});
    return true;
}
