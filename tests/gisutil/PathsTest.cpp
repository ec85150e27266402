#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using drennow::modUtilsGeneral::GetParentFolder;

TEST(GetParentFolder, CutsPathsBeforeTheLastSeparator)
{
    EXPECT_EQ(GetParentFolder("/data/basins.gpkg"), "/data");
    EXPECT_EQ(GetParentFolder("/data/rhine/basins.gpkg"), "/data/rhine");
    EXPECT_EQ(GetParentFolder("data/basins.gpkg"), "data");
    EXPECT_EQ(GetParentFolder("/data/rhine/"), "/data/rhine");
    EXPECT_EQ(GetParentFolder("basins.gpkg"), "");
    EXPECT_EQ(GetParentFolder("/basins.gpkg"), "");
    EXPECT_EQ(GetParentFolder(""), "");
}

#ifdef _WIN32
TEST(GetParentFolder, CutsBackslashPathsBeforeTheLastBackslash)
{
    EXPECT_EQ(GetParentFolder("C:\\maps\\basins.mxd"), "C:\\maps");
    EXPECT_EQ(GetParentFolder("C:\\basins.mxd"), "C:");
    EXPECT_EQ(GetParentFolder("C:\\maps\\"), "C:\\maps");
    EXPECT_EQ(GetParentFolder("\\basins.mxd"), "");
    EXPECT_EQ(GetParentFolder("C:\\maps/basins.mxd"), "C:\\maps");
}
#else
// A backslash is a character of a file name: back\slash.gpkg lies in the
// current folder, not in a folder "back".
TEST(GetParentFolder, ABackslashIsPartOfAFileName)
{
    EXPECT_EQ(GetParentFolder("back\\slash.gpkg"), "");
    EXPECT_EQ(GetParentFolder("/data/back\\slash.gpkg"), "/data");
    EXPECT_EQ(GetParentFolder("/data\\rhine/basins.gpkg"), "/data\\rhine");
    EXPECT_EQ(GetParentFolder("C:\\maps\\basins.mxd"), "");
}
#endif

TEST(GetParentFolder, KeepsQuotesOfAQuotedPath)
{
    EXPECT_EQ(GetParentFolder(" /maps/basins.gpkg"), " /maps");
    EXPECT_EQ(GetParentFolder(" /maps/basins.gpkg\""), "/maps\"");
    EXPECT_EQ(GetParentFolder("\"/data/basins.gpkg\""), "\"/data\"");
    EXPECT_EQ(GetParentFolder("'/data/basins.gpkg'  "), "'/data'");
}

TEST(GetParentFolder, OverlongPathRaisesOverflow)
{
    std::string longest = "/" + std::string(32766, 'a');
    EXPECT_EQ(GetParentFolder(longest), "");
    try {
        GetParentFolder(longest + "a");
        FAIL();
    } catch (const drennow::runtime::Error& error) {
        EXPECT_EQ(error.Number(), 6);
    }
}
