#include "platform/gdal/run/GdalApplication.h"

#include "platform/gdal/data/GdalError.h"

#include <filesystem>

namespace drennow::gdalhost {

namespace {

namespace fs = std::filesystem;

class GdalDocument : public host::IMxDocument {
public:
    explicit GdalDocument(host::Ref<host::IMap> map) : map_(std::move(map)) {}
    host::Ref<host::IMap> FocusMap() override { return map_; }

private:
    host::Ref<host::IMap> map_;
};

class GdalTemplates : public host::ITemplates {
public:
    explicit GdalTemplates(std::string documentPath) : documentPath_(std::move(documentPath)) {}
    int32_t Count() override { return 1; }
    std::string Item(int32_t index) override
    {
        if (index != 0) {
            RaiseHostError("No template " + std::to_string(index));
        }
        return documentPath_;
    }

private:
    std::string documentPath_;
};

// A path that ends in a separator stands for the folder itself.
std::string InsideFolder(const fs::path& folder)
{
    std::string path = fs::absolute(folder).lexically_normal().string();
    return path.back() == '/' ? path : path + "/";
}

}  // namespace

GdalApplication::GdalApplication(host::Ref<GdalMap> map, std::string documentPath,
                                 host::Ref<host::IUserInterface> userInterface, host::Ref<host::IStatusBar> statusBar,
                                 CancelTrackerFactory newCancelTracker)
    : document_(std::make_shared<GdalDocument>(std::move(map))),
      documentPath_(std::move(documentPath)),
      userInterface_(std::move(userInterface)),
      statusBar_(std::move(statusBar)),
      newCancelTracker_(std::move(newCancelTracker))
{
}

host::Ref<host::ITemplates> GdalApplication::Templates()
{
    return std::make_shared<GdalTemplates>(documentPath_);
}

host::Ref<host::IExtension> GdalApplication::FindExtensionByCLSID(const host::UID& id)
{
    if (id.Value != host::kEditorProgId) {
        return nullptr;
    }
    return editor_;
}

std::string DocumentPath(const std::string& firstDataset, const std::optional<std::string>& logFolder)
{
    if (logFolder) {
        return InsideFolder(*logFolder);
    }
    std::error_code error;
    fs::file_status status = fs::status(firstDataset, error);
    if (error || !fs::exists(status)) {
        return InsideFolder(fs::current_path());
    }
    fs::path dataset = fs::absolute(firstDataset).lexically_normal();
    if (!dataset.has_filename()) {
        dataset = dataset.parent_path();  // a folder written with a trailing slash
    }
    if (fs::is_directory(status) && dataset.extension() != ".gdb") {
        return InsideFolder(dataset);
    }
    return dataset.string();
}

std::vector<std::string> ApplySelection(GdalMap& map, const SelectionRequest& request)
{
    std::vector<std::string> notes;
    if (!request.where && !request.fids) {
        return notes;
    }
    bool layerFound = false;
    int32_t selected = 0;
    for (const host::Ref<GdalTableLayer>& layer : map.TableLayers()) {
        if (request.layer && layer->Name() != *request.layer) {
            continue;
        }
        layerFound = true;
        if (request.where) {
            layer->SelectWhere(*request.where);
        } else if (size_t missing = layer->SelectFids(FidList(request.fids->begin(), request.fids->end()))) {
            notes.push_back("--fid: " + std::to_string(missing) + " of the ids given are of no feature of " +
                            layer->Name() + "; the run goes on with the " +
                            std::to_string(layer->SelectedCount()) + " that are");
        }
        selected += layer->SelectedCount();
    }
    if (request.layer && !layerFound) {
        RaiseHostError("There is no layer called " + *request.layer + " to select in");
    }
    if (selected == 0) {
        RaiseHostError("The selection holds no feature; without one every feature would be written");
    }
    return notes;
}

}  // namespace drennow::gdalhost
