#include "platform/gphoto_link.h"

#include <gphoto2/gphoto2.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace ravlen {

namespace {

// The camera drivers' abilities, loaded once: loading them opens every driver.
CameraAbilitiesList* Abilities(GPContext* context) {
    static std::once_flag once;
    static CameraAbilitiesList* list = nullptr;
    std::call_once(once, [context] {
        if (gp_abilities_list_new(&list) < GP_OK) return;
        if (gp_abilities_list_load(list, context) < GP_OK) {
            gp_abilities_list_free(list);
            list = nullptr;
        }
    });
    return list;
}

// The last error text libgphoto2's drivers reported, which says more than the
// result code alone.
struct Context {
    GPContext* context = gp_context_new();
    std::string lastError;
    Context() {
        gp_context_set_error_func(
            context,
            [](GPContext*, const char* text, void* data) { static_cast<Context*>(data)->lastError = text ? text : ""; },
            this);
    }
    ~Context() { gp_context_unref(context); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

DeviceFault FaultOf(int result) {
    switch (result) {
    case GP_ERROR_IO_USB_CLAIM:
    case GP_ERROR_IO_LOCK:
    case GP_ERROR_CAMERA_BUSY: return DeviceFault::Busy;
    case GP_ERROR_IO_USB_FIND:
    case GP_ERROR_IO:
    case GP_ERROR_IO_READ:
    case GP_ERROR_IO_WRITE:
    case GP_ERROR_TIMEOUT: return DeviceFault::Unplugged;
    case GP_ERROR_FILE_NOT_FOUND:
    case GP_ERROR_DIRECTORY_NOT_FOUND: return DeviceFault::NoFile;
    case GP_ERROR_NOT_SUPPORTED: return DeviceFault::NotSupported;
    default: return DeviceFault::Failed;
    }
}

DeviceStatus StatusOf(int result, Context& context) {
    if (result >= GP_OK) return DeviceStatus::Ok();
    std::string text = gp_result_as_string(result);
    if (!context.lastError.empty() && context.lastError != text) text += " (" + context.lastError + ")";
    context.lastError.clear();
    return DeviceStatus::Fail(FaultOf(result), std::move(text));
}

struct ListHolder {
    CameraList* list = nullptr;
    ListHolder() { gp_list_new(&list); }
    ~ListHolder() {
        if (list) gp_list_free(list);
    }
    ListHolder(const ListHolder&) = delete;
    ListHolder& operator=(const ListHolder&) = delete;
};

class GphotoLink final : public DeviceLink {
public:
    ~GphotoLink() override {
        if (camera_) {
            gp_camera_exit(camera_, context_.context);
            gp_camera_unref(camera_);
        }
    }

    DeviceStatus Open(const DeviceInfo& device) {
        CameraAbilitiesList* abilities = Abilities(context_.context);
        if (!abilities) return DeviceStatus::Fail(DeviceFault::Failed, "libgphoto2 has no camera drivers");
        int result = gp_camera_new(&camera_);
        if (result < GP_OK) return StatusOf(result, context_);
        const int model = gp_abilities_list_lookup_model(abilities, device.Model.c_str());
        if (model < GP_OK) return DeviceStatus::Fail(DeviceFault::NoFile, "No camera driver knows the model " + device.Model);
        CameraAbilities found{};
        gp_abilities_list_get_abilities(abilities, model, &found);
        gp_camera_set_abilities(camera_, found);

        GPPortInfoList* ports = nullptr;
        if ((result = gp_port_info_list_new(&ports)) < GP_OK) return StatusOf(result, context_);
        gp_port_info_list_load(ports);
        const int port = gp_port_info_list_lookup_path(ports, device.Port.c_str());
        if (port < GP_OK) {
            gp_port_info_list_free(ports);
            return DeviceStatus::Fail(DeviceFault::Unplugged, "No port " + device.Port);
        }
        GPPortInfo info{};
        gp_port_info_list_get_info(ports, port, &info);
        result = gp_camera_set_port_info(camera_, info);
        gp_port_info_list_free(ports);
        if (result < GP_OK) return StatusOf(result, context_);
        // Nothing answering on the port: the device is not (or no longer) there.
        const int init = gp_camera_init(camera_, context_.context);
        if (init == GP_ERROR_BAD_PARAMETERS || init == GP_ERROR_MODEL_NOT_FOUND || init == GP_ERROR_IO_USB_FIND)
            return DeviceStatus::Fail(DeviceFault::Unplugged, gp_result_as_string(init));
        return StatusOf(init, context_);
    }

    DeviceStatus List(const std::string& folder, std::vector<DeviceEntry>& files,
                      std::vector<DeviceEntry>& folders) override {
        files.clear(), folders.clear();
        ListHolder names;
        int result = gp_camera_folder_list_folders(camera_, folder.c_str(), names.list, context_.context);
        if (result < GP_OK) return StatusOf(result, context_);
        for (int i = 0, n = gp_list_count(names.list); i < n; ++i) {
            const char* name = nullptr;
            gp_list_get_name(names.list, i, &name);
            if (name) folders.push_back({name});
        }
        gp_list_reset(names.list);
        result = gp_camera_folder_list_files(camera_, folder.c_str(), names.list, context_.context);
        if (result < GP_OK) return StatusOf(result, context_);
        for (int i = 0, n = gp_list_count(names.list); i < n; ++i) {
            const char* name = nullptr;
            gp_list_get_name(names.list, i, &name);
            if (!name) continue;
            DeviceEntry entry;
            const DeviceStatus status = Info(folder, name, entry);
            if (status.fault == DeviceFault::Unplugged) return status;
            if (status) files.push_back(std::move(entry));
        }
        return DeviceStatus::Ok();
    }

    DeviceStatus Info(const std::string& folder, const std::string& name, DeviceEntry& entry) override {
        CameraFileInfo info{};
        const int result = gp_camera_file_get_info(camera_, folder.c_str(), name.c_str(), &info, context_.context);
        if (result < GP_OK) return StatusOf(result, context_);
        entry.Name = name;
        entry.Size = (info.file.fields & GP_FILE_INFO_SIZE) ? static_cast<std::int64_t>(info.file.size) : 0;
        entry.Modified = (info.file.fields & GP_FILE_INFO_MTIME) ? static_cast<std::int64_t>(info.file.mtime) : 0;
        return DeviceStatus::Ok();
    }

    DeviceStatus ReadPart(const std::string& folder, const std::string& name, std::uint64_t offset, char* buffer,
                          std::uint64_t& size) override {
        const int result = gp_camera_file_read(camera_, folder.c_str(), name.c_str(), GP_FILE_TYPE_NORMAL, offset,
                                               buffer, &size, context_.context);
        return StatusOf(result, context_);
    }

    DeviceStatus Download(const std::string& folder, const std::string& name, const Sink& sink) override {
        // Streamed through a handler: the file never sits whole in memory
        // where the driver hands it over in pieces.
        struct Pushed {
            const Sink* sink;
            bool stopped = false;
        } pushed{&sink};
        static CameraFileHandler handler = {
            nullptr,
            nullptr,
            [](void* data, unsigned char* bytes, std::uint64_t* len) {
                auto* p = static_cast<Pushed*>(data);
                if (!(*p->sink)(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(*len))) {
                    p->stopped = true;
                    return GP_ERROR_CANCEL;
                }
                return GP_OK;
            },
        };
        CameraFile* file = nullptr;
        int result = gp_file_new_from_handler(&file, &handler, &pushed);
        if (result < GP_OK) return StatusOf(result, context_);
        result = gp_camera_file_get(camera_, folder.c_str(), name.c_str(), GP_FILE_TYPE_NORMAL, file, context_.context);
        gp_file_unref(file);
        if (pushed.stopped) return DeviceStatus::Fail(DeviceFault::Failed, "The download was stopped");
        return StatusOf(result, context_);
    }

    DeviceStatus Delete(const std::string& folder, const std::string& name) override {
        return StatusOf(gp_camera_file_delete(camera_, folder.c_str(), name.c_str(), context_.context), context_);
    }

private:
    Context context_;
    Camera* camera_ = nullptr;
};

}  // namespace

std::vector<DeviceInfo> FindDevices(std::string& error) {
    std::vector<DeviceInfo> found;
    Context context;
    CameraAbilitiesList* abilities = Abilities(context.context);
    GPPortInfoList* ports = nullptr;
    if (!abilities || gp_port_info_list_new(&ports) < GP_OK) {
        error = "libgphoto2 cannot look for devices";
        return found;
    }
    ListHolder detected;
    if (const int result = gp_port_info_list_load(ports); result < GP_OK) {
        error = gp_result_as_string(result);
    } else if (const int detect = gp_abilities_list_detect(abilities, ports, detected.list, context.context);
               detect < GP_OK) {
        error = gp_result_as_string(detect);
    } else {
        for (int i = 0, n = gp_list_count(detected.list); i < n; ++i) {
            const char *model = nullptr, *port = nullptr;
            gp_list_get_name(detected.list, i, &model);
            gp_list_get_value(detected.list, i, &port);
            if (model && port && std::string_view(port).rfind("usb:", 0) == 0) found.push_back({model, port});
        }
    }
    gp_port_info_list_free(ports);
    return found;
}

bool ListUsbPorts(std::vector<std::string>& ports, std::string& error) {
    ports.clear();
    GPPortInfoList* list = nullptr;
    if (const int result = gp_port_info_list_new(&list); result < GP_OK) {
        error = gp_result_as_string(result);
        return false;
    }
    const int loaded = gp_port_info_list_load(list);
    if (loaded < GP_OK) error = gp_result_as_string(loaded);
    for (int i = 0, n = loaded < GP_OK ? 0 : gp_port_info_list_count(list); i < n; ++i) {
        GPPortInfo info{};
        char* path = nullptr;
        GPPortType type = GP_PORT_NONE;
        if (gp_port_info_list_get_info(list, i, &info) < GP_OK || gp_port_info_get_path(info, &path) < GP_OK ||
            gp_port_info_get_type(info, &type) < GP_OK || !path)
            continue;
        // "usb:" alone stands for any USB port, not one that holds something.
        if (type == GP_PORT_USB && std::string_view(path) != "usb:") ports.emplace_back(path);
    }
    gp_port_info_list_free(list);
    return loaded >= GP_OK;
}

bool ListKernelUsbPorts(std::vector<std::string>& ports, const std::string& root) {
    ports.clear();
    std::error_code error;
    std::filesystem::directory_iterator entries(root, error);
    if (error) return false;
    // A device's folder holds its bus and address; its interfaces' do not.
    const auto number = [](const std::filesystem::path& file) {
        std::ifstream in(file);
        int value = -1;
        return (in >> value) ? value : -1;
    };
    for (const std::filesystem::directory_entry& entry : entries) {
        const int bus = number(entry.path() / "busnum"), address = number(entry.path() / "devnum");
        if (bus < 0 || address < 0) continue;
        char name[32];
        std::snprintf(name, sizeof name, "usb:%03d,%03d", bus, address);
        ports.emplace_back(name);
    }
    std::sort(ports.begin(), ports.end());
    return true;
}

std::vector<DeviceInfo> DevicesOnPort(const std::string& port) {
    std::vector<DeviceInfo> found;
    Context context;
    CameraAbilitiesList* abilities = Abilities(context.context);
    GPPortInfoList* ports = nullptr;
    if (!abilities || gp_port_info_list_new(&ports) < GP_OK) return found;
    ListHolder detected;
    // Looking the port up adds it to the list where it was not listed (a
    // disk: folder); a list holds its entries, so the whole list is asked
    // and the answers for other ports let go.
    if (gp_port_info_list_load(ports) >= GP_OK && gp_port_info_list_lookup_path(ports, port.c_str()) >= GP_OK &&
        gp_abilities_list_detect(abilities, ports, detected.list, context.context) >= GP_OK) {
        for (int i = 0, n = gp_list_count(detected.list); i < n; ++i) {
            const char *model = nullptr, *path = nullptr;
            gp_list_get_name(detected.list, i, &model);
            gp_list_get_value(detected.list, i, &path);
            if (model && path && port == path) found.push_back({model, path});
        }
    }
    gp_port_info_list_free(ports);
    return found;
}

std::unique_ptr<DeviceLink> OpenDevice(const DeviceInfo& device, DeviceStatus& status) {
    auto link = std::make_unique<GphotoLink>();
    status = link->Open(device);
    if (!status) return nullptr;
    return link;
}

}  // namespace ravlen
