// The plugin library as QGIS sees it before it creates the plugin.
#include <qgisplugin.h>

#include <QLibrary>

#include <gtest/gtest.h>

namespace {

using TextEntry = const QString* (*)();
using TypeEntry = int (*)();

TEST(PluginEntryPoints, QgisFindsItsDescriptionAndFactory)
{
    QLibrary plugin(QStringLiteral(DRENNOW_PLUGIN_FILE));
    ASSERT_TRUE(plugin.load()) << plugin.errorString().toStdString();
    for (const char* entry : {"name", "description", "category", "version"}) {
        auto text = reinterpret_cast<TextEntry>(plugin.resolve(entry));
        ASSERT_NE(text, nullptr) << entry;
        EXPECT_FALSE(text()->isEmpty()) << entry;
    }
    EXPECT_EQ(*reinterpret_cast<TextEntry>(plugin.resolve("name"))(), QStringLiteral("Drennow"));
    EXPECT_EQ(*reinterpret_cast<TextEntry>(plugin.resolve("category"))(), QStringLiteral("Pfafstetter"));
    auto type = reinterpret_cast<TypeEntry>(plugin.resolve("type"));
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type(), QgisPlugin::UI);
    EXPECT_NE(plugin.resolve("classFactory"), nullptr);
    EXPECT_NE(plugin.resolve("unload"), nullptr);
}

}  // namespace
