// QGIS needs its application object for the whole run: offscreen, with a
// throwaway home folder so no test touches the user's settings or files.
#include <qgsapplication.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home = (std::filesystem::temp_directory_path() / "drennow-qgis-home-XXXXXX").string();
    if (!mkdtemp(home.data())) {
        return 2;
    }
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);

    QgsApplication application(argc, argv, true);
    QgsApplication::setPrefixPath(QStringLiteral("/usr"), true);
    QgsApplication::initQgis();
    int result = RUN_ALL_TESTS();
    QgsApplication::exitQgis();
    std::filesystem::remove_all(home);
    return result;
}
