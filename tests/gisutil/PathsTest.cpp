#include "gisutil/modUtilsGeneral.h"
#include "runtime/Error.h"

#include <gtest/gtest.h>

using drennow::modUtilsGeneral::GetParentFolder;

TEST(GetParentFolder, CutsBackslashPathsBeforeTheLastBackslash)
{
    EXPECT_EQ(GetParentFolder("C:\\maps\\basins.mxd"), "C:\\maps");
    EXPECT_EQ(GetParentFolder("C:\\basins.mxd"), "C:");
    EXPECT_EQ(GetParentFolder("C:\\maps\\"), "C:\\maps");
    EXPECT_EQ(GetParentFolder("basins.mxd"), "");
    EXPECT_EQ(GetParentFolder("\\basins.mxd"), "");
    EXPECT_EQ(GetParentFolder(""), "");
}

TEST(GetParentFolder, TreatsSlashAsASeparatorToo)
{
    EXPECT_EQ(GetParentFolder("/data/basins.gpkg"), "/data");
    EXPECT_EQ(GetParentFolder("/data/rhine/basins.gpkg"), "/data/rhine");
    EXPECT_EQ(GetParentFolder("data/basins.gpkg"), "data");
    EXPECT_EQ(GetParentFolder("/basins.gpkg"), "");
    EXPECT_EQ(GetParentFolder("C:\\maps/basins.mxd"), "C:\\maps");
}

TEST(GetParentFolder, KeepsQuotesOfAQuotedPath)
{
    EXPECT_EQ(GetParentFolder(" C:\\maps\\basins.mxd"), " C:\\maps");
    EXPECT_EQ(GetParentFolder(" C:\\maps\\basins.mxd\""), "C:\\maps\"");
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
