#include "gisutil/modUtilsGeneral.h"

#include "runtime/Error.h"

namespace drennow::modUtilsGeneral {

void GetRowCursor(const host::Ref<host::ITable>& table, host::Ref<host::ICursor>& cursor, int32_t& count,
                  bool& usesSelection)
{
    if (!host::QueryInterface<host::IFeatureLayer>(table) && !host::QueryInterface<host::IStandaloneTable>(table)) {
        return;
    }
    auto selection = runtime::Deref(host::QueryInterface<host::ITableSelection>(table)).SelectionSet();
    auto& selected = runtime::Deref(selection);
    if (selected.Count() != 0) {
        cursor = nullptr;
        cursor = selected.Search();
        count = selected.Count();
        usesSelection = true;
        return;
    }
    cursor = table->Search();
    count = table->RowCount();
    usesSelection = false;
}

std::string GetDocumentPath(const host::Ref<host::IApplication>& application, bool folderOnly)
{
    // Every step may fail; a failed step leaves what it would have set empty.
    std::string path;
    try {
        auto templates = runtime::Deref(application).Templates();
        auto& list = runtime::Deref(templates);
        path = list.Item(list.Count() - 1);
    } catch (const std::exception&) {
    }
    if (!folderOnly) {
        return path;
    }
    try {
        return GetParentFolder(path);
    } catch (const std::exception&) {
        return "";
    }
}

}  // namespace drennow::modUtilsGeneral
