// The README's key list and the shortcut table name the same keys: none documented and not
// bound, none bound and not documented.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "cinput.h"

namespace {

// The keys of the README's "| key | does |" table, one per comma-separated name; mouse
// gestures ("Shift+click") are not keys.
std::set<std::string> DocumentedKeys()
{
    std::ifstream readme(std::string(KIVOA_SOURCE_DIR) + "/README.md");
    std::set<std::string> keys;
    std::string line;
    while (std::getline(readme, line) && line != "| key | does |") {
    }
    std::getline(readme, line); // the |---|---| row
    while (std::getline(readme, line) && line.rfind("| ", 0) == 0) {
        std::stringstream cell(line.substr(2, line.find(" |", 1) - 2));
        std::string key;
        while (std::getline(cell >> std::ws, key, ','))
            if (key.find("click") == std::string::npos)
                keys.insert(key);
    }
    return keys;
}

} // namespace

TEST(Shortcuts, TheReadmeListsExactlyTheBoundKeys)
{
    std::set<std::string> bound;
    for (const CInput::SShortcut &shortcut : CInput::Shortcuts())
        EXPECT_TRUE(bound.insert(CInput::KeyLabel(shortcut)).second) << "bound twice: " << CInput::KeyLabel(shortcut);
    const std::set<std::string> documented = DocumentedKeys();
    ASSERT_FALSE(documented.empty());
    for (const std::string &key : documented)
        EXPECT_EQ(bound.count(key), 1u) << "documented, not bound: " << key;
    for (const std::string &key : bound)
        EXPECT_EQ(documented.count(key), 1u) << "bound, not documented: " << key;
}
