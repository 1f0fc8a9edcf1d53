#include "camera_read.h"

#include "camera_listing.h"
#include "run.h"
#include "text_format.h"

#include <cstdint>
#include <optional>

namespace oakvane::camera {

namespace {

// What one file's stream has received so far, and why it was cut off when it was.
struct Stream {
    Run& run;
    ChunkSink& sink;
    std::uint64_t received = 0;
    std::optional<Status> ended;
};

int receive_chunk(void* priv, unsigned char* data, std::uint64_t* size)
{
    Stream& stream = *static_cast<Stream*>(priv);
    if (stream.run.stop_requested()) {
        stream.ended = stopped();
        return GP_ERROR_CANCEL;
    }
    if (Status written = stream.sink.write(reinterpret_cast<const char*>(data), *size); !written) {
        stream.ended = std::move(written);
        return GP_ERROR;
    }
    stream.received += *size;
    return GP_OK;
}

int stream_size(void* priv, std::uint64_t* size)
{
    *size = static_cast<Stream*>(priv)->received;
    return GP_OK;
}

int no_reading(void*, unsigned char*, std::uint64_t* size)
{
    *size = 0;
    return GP_ERROR_NOT_SUPPORTED;
}

// Lets a driver that waits on the camera give up once Stop is pressed.
GPContextFeedback cancel_on_stop(GPContext*, void* priv)
{
    return static_cast<Stream*>(priv)->run.stop_requested() ? GP_CONTEXT_FEEDBACK_CANCEL : GP_CONTEXT_FEEDBACK_OK;
}

// Removes the stop check from the context however the read ends: the stream goes with it.
class CancelCheck {
public:
    CancelCheck(GPContext* context, Stream& stream) : m_context(context)
    {
        gp_context_set_cancel_func(m_context, cancel_on_stop, &stream);
    }
    ~CancelCheck() { gp_context_set_cancel_func(m_context, nullptr, nullptr); }
    CancelCheck(const CancelCheck&) = delete;
    CancelCheck& operator=(const CancelCheck&) = delete;

private:
    GPContext* m_context;
};

// The file is still the one listed: a camera that was written to meanwhile is not the card counted.
Status check_unchanged(Connection& connection, const CardItem& item)
{
    const std::string prefix = item.path.substr(0, item.path.size() - item.relative.size() - 1);
    CardItem now;
    if (Status known = camera_file_item(connection, "/" + item.relative, prefix, item.level, now); !known)
        return known;
    if (now.st.st_size != item.st.st_size || now.st.st_mtim.tv_sec != item.st.st_mtim.tv_sec)
        return fail("Card file changed during the run: \"" + item.path + "\"");
    return {};
}

}  // namespace

Status read_camera_file(Connection& connection, Run& run, const CardItem& item, ChunkSink& sink)
{
    if (Status same = check_unchanged(connection, item); !same)
        return same;
    const std::string camera_path = "/" + item.relative;
    const std::size_t slash = camera_path.rfind('/');
    const std::string folder = slash == 0 ? "/" : camera_path.substr(0, slash);
    const std::string name = camera_path.substr(slash + 1);

    Stream stream{run, sink, 0, std::nullopt};
    CameraFileHandler handler{stream_size, no_reading, receive_chunk};
    CameraFile* raw_file = nullptr;
    if (gp_file_new_from_handler(&raw_file, &handler, &stream) < GP_OK)
        return fail("libgphoto2 can't make a file to read into");
    const GpFile file(raw_file);
    int got = GP_OK;
    {
        const CancelCheck cancel(connection.context.get(), stream);
        got = gp_camera_file_get(connection.camera.get(), folder.c_str(), name.c_str(), GP_FILE_TYPE_NORMAL,
                                 file.get(), connection.context.get());
    }
    if (stream.ended)
        return std::move(*stream.ended);
    if (got < GP_OK && run.stop_requested())
        return stopped();
    if (got < GP_OK)
        return fail("Camera read error: \"" + item.path + "\" (" + gp_text(got) + ")");
    const auto listed = static_cast<std::uint64_t>(item.st.st_size);
    if (stream.received != listed)
        return fail(format("Camera read error: \"%s\" gave %llu bytes of %llu", item.path.c_str(),
                           static_cast<unsigned long long>(stream.received),
                           static_cast<unsigned long long>(listed)));
    return {};
}

}  // namespace oakvane::camera
