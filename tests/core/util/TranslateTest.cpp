#include "util/Translate.h"

#include "util/FileIO.h"

#include <gtest/gtest.h>

// Before the catalog code installs its lookups, every lookup gives its key with
// the line breaks the program writes.
TEST(Translate, KeysComeBackUntilCatalogsAreInstalled)
{
    EXPECT_EQ(TrDefault("Print"), u"Print"_qs);
    EXPECT_EQ(TrDefault("File: %s\ncould not be printed!"), u"File: %s\r\ncould not be printed!"_qs);
    EXPECT_EQ(TrDialogs("a\r\nb\n"), u"a\r\nb\r\n"_qs);
    EXPECT_EQ(TrToolkit("\n"), u"\r\n"_qs);
    EXPECT_EQ(TrDomain("any", u"lone\rCR"_qs), u"loneCR"_qs);
    EXPECT_EQ(TrDefault(""), QString());
    EXPECT_EQ(CannotOpenFileText(u"/a"_qs, u"gone"_qs), u"Cannot open file \"/a\". gone"_qs);
}

// What is installed serves every caller, the lowest layer's own texts
// included; an empty record goes back to the keys.
TEST(Translate, InstalledLookupsServeEveryLayer)
{
    InstallTextLookup(
        {[](const char* domain, const QString& key) -> QString { return QString::fromUtf8(domain) + u':' + key; },
         [](const QString& key) -> QString { return u"toolkit:"_qs + key; }});
    EXPECT_EQ(TrDefault("Print"), u"default:Print"_qs);
    EXPECT_EQ(TrDialogs("Print"), u"dialogs:Print"_qs);
    EXPECT_EQ(TrDomain("qt", u"Print"_qs), u"qt:Print"_qs);
    EXPECT_EQ(CannotCreateFileText(u"/a"_qs, QString()), u"toolkit:Cannot create file \"/a\"."_qs);
    InstallTextLookup({});
    EXPECT_EQ(TrToolkit("Print"), u"Print"_qs);
}
