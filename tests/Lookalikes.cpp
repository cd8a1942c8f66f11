#include "Lookalikes.h"

namespace {

std::string Bytes(uint64_t count, char fill) { return std::string(static_cast<size_t>(count), fill); }

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD, what the platform lists for bytes that are no UTF-8

}  // namespace

bool MakeLookalikes(const TempTree& tree, const std::string& tag, std::vector<Lookalike>* made) {
    const std::string t = "-" + tag;
    std::string deep;
    for (int i = 0; i < 10; ++i) deep += "/level-" + std::to_string(i) + "-of-a-rather-deep-path";
    using R = Lookalike::Reach;
    struct Item {
        std::string shell;  // the row's name in a double-quoted shell word
        std::string host;   // the same, as the host holds it
        std::string listed;
        std::string inner;  // for a folder, its one file below it
        uint64_t bytes;
        char fill;
        R reach;
    };
    auto plain = [](const std::string& name, const std::string& inner, uint64_t bytes, char fill,
                    R reach = R::kReached) { return Item{name, name, name, inner, bytes, fill, reach}; };
    auto undecodable = [&](const char* octal, char byte, const std::string& rest, const std::string& inner,
                           uint64_t bytes, char fill) {
        return Item{std::string("$(printf '\\") + octal + "')" + rest, std::string(1, byte) + rest,
                    kReplacement + rest, inner, bytes, fill, R::kTwin};
    };
    std::vector<Item> items = {
        plain("Māori" + t + ".txt", "", 1, 'm'),
        plain("Maori" + t + ".txt", "", 7, 'M'),
        plain("a＼b" + t, "", 3, 'w'),
        plain("a", "b" + t, 5, 'b'),
        plain("same" + t + " ", "", 2, 'S'),
        plain("same" + t, "", 4, 's'),
        plain("dot" + t + ".", "", 6, 'D'),
        plain("dot" + t, "", 8, 'd'),
        plain("x／．．／．．／victim" + t + ".txt", "", 9, 'v'),
        plain("we?rd" + t + ".txt", "", 10, 'q'),
        plain("weard" + t + ".txt", "", 12, 'e'),
        plain("Фото" + t, "снимок.jpg", 13, 'f'),
        plain("aux.txt", "", 14, 'a'),
        plain("apache" + t + ".", "x.jar", 15, 'j'),
        plain("apache" + t, "y.jar", 16, 'y'),
        plain("🎞" + t + ".bin", "", 19, 'k'),
        plain("deep" + t, deep.substr(1) + "/leaf.bin", 18, 'l'),
        // Twins the platform lists as one name: its lookup finds one of them.
        undecodable("377", '\xff', t + ".bin", "", 1301, 'p'),
        undecodable("376", '\xfe', t + ".bin", "", 131, 'P'),
        undecodable("375", '\xfd', t + "-dir", "f", 23, 'g'),
        undecodable("374", '\xfc', t + "-dir", "f", 29, 'G'),
        // A backslash in a name: as a path, the platform reads the item
        // beside it ("s-t" holding "u-t.bin").
        plain("s" + t + "\\u" + t + ".bin", "", 31, 'z', R::kUnreachable),
        plain("s" + t, "u" + t + ".bin", 37, 'Z'),
        plain("v" + t + "\\w" + t, "f", 41, 'r', R::kUnreachable),
        plain("v" + t, "w" + t + "/g", 43, 'R'),
        // Case twins, each found by its own name.
        plain("Foo" + t + ".txt", "", 47, 'F'),
        plain("foo" + t + ".txt", "", 53, 'o'),
        plain("Dir" + t, "f", 59, 'i'),
        plain("dir" + t, "f", 61, 'I'),
    };
    std::string script = "printf 'VVVVVVVVVVV' > \"victim" + t + ".txt\"";
    for (const Item& item : items) {
        std::string file = "chosen/" + item.shell + (item.inner.empty() ? "" : "/" + item.inner);
        size_t slash = file.rfind('/');
        script += " && mkdir -p \"" + file.substr(0, slash) + "\" && printf '" + Bytes(item.bytes, item.fill) +
                  "' > \"" + file + "\"";
    }
    if (!tree.Host(script)) return false;
    made->clear();
    for (const Item& item : items)
        made->push_back({item.listed, "chosen/" + item.host, item.bytes, !item.inner.empty(), item.reach});
    return true;
}
