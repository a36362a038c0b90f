// The desktop portal's ScreenCast flow over D-Bus: CreateSession,
// SelectSources, Start, OpenPipeWireRemote. Each of the first three answers
// through a Request object's Response signal, which is subscribed to before
// the call so a fast answer is never missed.
#include "os_lnx_portal.h"

#include <dbus/dbus.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static const char *const portal_service = "org.freedesktop.portal.Desktop";
static const char *const portal_path = "/org/freedesktop/portal/desktop";
static const char *const screencast_interface = "org.freedesktop.portal.ScreenCast";
static const int portal_call_timeout_ms = 5000;
// Answers that involve no person; SelectSources and Start may wait on the
// user's dialog for as long as the user likes.
static const i64 portal_quick_answer_ms = 10000;
static const int portal_slice_ms = 50;

enum : u32 {
    PORTAL_SOURCE_MONITOR = 1,
    PORTAL_CURSOR_HIDDEN = 1,
    PORTAL_CURSOR_EMBEDDED = 2,
    PORTAL_PERSIST_UNTIL_REVOKED = 2,
    PORTAL_RESPONSE_CANCELLED = 1,
    // ScreenCast versions that know persist_mode and restore_token.
    PORTAL_RESTORE_VERSION = 4,
};

// An a{sv} entry of the options a portal method takes.
struct PortalOption {
    const char *key;
    int type; // DBUS_TYPE_UINT32, DBUS_TYPE_BOOLEAN or DBUS_TYPE_STRING
    u32 number;
    const char *text;
};

static void portal_append_options(DBusMessageIter *args, const PortalOption *options, i32 count) {
    DBusMessageIter dictionary, entry, variant;
    dbus_message_iter_open_container(args, DBUS_TYPE_ARRAY, "{sv}", &dictionary);
    for (i32 i = 0; i < count; i++) {
        const PortalOption &option = options[i];
        char signature[2] = {(char)option.type, 0};
        dbus_message_iter_open_container(&dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry);
        dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &option.key);
        dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
        if (option.type == DBUS_TYPE_STRING) {
            dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &option.text);
        } else {
            dbus_uint32_t value = option.number;
            dbus_message_iter_append_basic(&variant, option.type, &value);
        }
        dbus_message_iter_close_container(&entry, &variant);
        dbus_message_iter_close_container(&dictionary, &entry);
    }
    dbus_message_iter_close_container(args, &dictionary);
}

// Finds key in the a{sv} that array points at; value then reads the variant's content.
static bool portal_find(DBusMessageIter *array, const char *key, DBusMessageIter *value) {
    if (dbus_message_iter_get_arg_type(array) != DBUS_TYPE_ARRAY) return false;
    DBusMessageIter entries, entry;
    dbus_message_iter_recurse(array, &entries);
    for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&entries)) {
        dbus_message_iter_recurse(&entries, &entry);
        const char *name = nullptr;
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
        dbus_message_iter_get_basic(&entry, &name);
        if (strcmp(name, key) != 0 || !dbus_message_iter_next(&entry)) continue;
        dbus_message_iter_recurse(&entry, value);
        return true;
    }
    return false;
}

static bool portal_find_text(DBusMessageIter *array, const char *key, char *out, i32 capacity) {
    DBusMessageIter value;
    if (!portal_find(array, key, &value)) return false;
    int type = dbus_message_iter_get_arg_type(&value);
    if (type != DBUS_TYPE_STRING && type != DBUS_TYPE_OBJECT_PATH) return false;
    const char *text = nullptr;
    dbus_message_iter_get_basic(&value, &text);
    return os_format(out, capacity, "%s", text) < capacity;
}

// A pair of 32-bit integers, as "position" and "size" come.
static bool portal_find_pair(DBusMessageIter *array, const char *key, i32 *first, i32 *second) {
    DBusMessageIter value, items;
    if (!portal_find(array, key, &value) || dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRUCT) return false;
    dbus_message_iter_recurse(&value, &items);
    dbus_int32_t a = 0, b = 0;
    if (dbus_message_iter_get_arg_type(&items) != DBUS_TYPE_INT32) return false;
    dbus_message_iter_get_basic(&items, &a);
    if (!dbus_message_iter_next(&items) || dbus_message_iter_get_arg_type(&items) != DBUS_TYPE_INT32) return false;
    dbus_message_iter_get_basic(&items, &b);
    *first = a;
    *second = b;
    return true;
}

static DBusMessage *portal_call(OsCapture *capture, DBusMessage *call, DBusError *error) {
    DBusMessage *reply =
        dbus_connection_send_with_reply_and_block(capture->portal.bus, call, portal_call_timeout_ms, error);
    dbus_message_unref(call);
    return reply;
}

static DBusMessage *portal_method(const char *path, const char *interface, const char *method) {
    return dbus_message_new_method_call(portal_service, path, interface, method);
}

static void portal_subscribe(OsCapture *capture, const char *interface, const char *member, const char *path) {
    char rule[512];
    os_format(rule, (i32)sizeof rule, "type='signal',interface='%s',member='%s',path='%s'", interface, member, path);
    dbus_bus_add_match(capture->portal.bus, rule, nullptr);
}

static bool portal_is_session_closed(OsCapture *capture, DBusMessage *message) {
    return capture->portal.session[0] && dbus_message_is_signal(message, "org.freedesktop.portal.Session", "Closed") &&
           strcmp(dbus_message_get_path(message) ? dbus_message_get_path(message) : "", capture->portal.session) == 0;
}

// Calls a ScreenCast method whose answer comes as a Response signal: args
// already holds the leading arguments, options get our handle_token. On
// success *results is the signal (its second argument the results) and true
// comes back; otherwise the capture has ended, or stop was asked.
static bool portal_request(OsCapture *capture, DBusMessage *call, DBusMessageIter *args, PortalOption *options,
                           i32 count, const char *step, bool quick, DBusMessage **results) {
    OsLnxPortal &portal = capture->portal;
    char token[64], path[256];
    os_format(token, (i32)sizeof token, "vornby%u_%u", (u32)getpid(), ++portal.request_count);
    os_format(path, (i32)sizeof path, "%s/request/%s/%s", portal_path, portal.sender, token);
    portal_subscribe(capture, "org.freedesktop.portal.Request", "Response", path);
    options[count] = PortalOption{"handle_token", DBUS_TYPE_STRING, 0, token};
    portal_append_options(args, options, count + 1);

    DBusError error;
    dbus_error_init(&error);
    DBusMessage *reply = portal_call(capture, call, &error);
    if (!reply) {
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "The desktop portal refused %s: %s", step, error.message);
        dbus_error_free(&error);
        return false;
    }
    const char *handle = nullptr;
    if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_OBJECT_PATH, &handle, DBUS_TYPE_INVALID) &&
        strcmp(handle, path) != 0) {
        // Portals before 0.9 choose the path themselves.
        os_format(path, (i32)sizeof path, "%s", handle);
        portal_subscribe(capture, "org.freedesktop.portal.Request", "Response", path);
    }
    dbus_message_unref(reply);

    i64 deadline = os_lnx_monotonic_ns() + portal_quick_answer_ms * 1000000;
    while (!capture->stop.load()) {
        if (!dbus_connection_read_write(portal.bus, portal_slice_ms)) {
            os_lnx_capture_end(capture, OS_CAPTURE_NO_PORTAL, "The session bus closed during %s", step);
            return false;
        }
        while (DBusMessage *message = dbus_connection_pop_message(portal.bus)) {
            if (portal_is_session_closed(capture, message)) {
                dbus_message_unref(message);
                os_lnx_capture_end(capture, OS_CAPTURE_STREAM_ENDED, "The desktop closed the session during %s", step);
                return false;
            }
            const char *from = dbus_message_get_path(message);
            if (!dbus_message_is_signal(message, "org.freedesktop.portal.Request", "Response") || !from ||
                strcmp(from, path) != 0) {
                dbus_message_unref(message);
                continue;
            }
            dbus_uint32_t response = 2;
            DBusMessageIter iter;
            if (dbus_message_iter_init(message, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_UINT32)
                dbus_message_iter_get_basic(&iter, &response);
            if (response == 0) {
                *results = message;
                return true;
            }
            dbus_message_unref(message);
            if (response == PORTAL_RESPONSE_CANCELLED)
                os_lnx_capture_end(capture, OS_CAPTURE_CANCELLED, "Screen sharing was declined (at %s)", step);
            else
                os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "The desktop portal ended %s (response %u)", step,
                                   (u32)response);
            return false;
        }
        if (quick && os_lnx_monotonic_ns() > deadline) {
            os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "The desktop portal did not answer %s", step);
            return false;
        }
    }
    return false;
}

// The results a{sv} of a Response signal.
static void portal_results(DBusMessage *response, DBusMessageIter *results) {
    dbus_message_iter_init(response, results);
    dbus_message_iter_next(results);
}

// The interface's version and cursor modes; false (ended) when there is no portal.
static bool portal_connect(OsCapture *capture, u32 *cursor_modes) {
    OsLnxPortal &portal = capture->portal;
    DBusError error;
    dbus_error_init(&error);
    // The address as the environment says it now (libdbus would read it once
    // per process), else the user bus's usual place; never an autolaunched bus.
    char address[512];
    const char *session = getenv("DBUS_SESSION_BUS_ADDRESS");
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    if (session && session[0]) os_format(address, (i32)sizeof address, "%s", session);
    else if (runtime && runtime[0]) os_format(address, (i32)sizeof address, "unix:path=%s/bus", runtime);
    else address[0] = 0;
    if (address[0]) portal.bus = dbus_connection_open_private(address, &error);
    if (portal.bus && !dbus_bus_register(portal.bus, &error)) {
        dbus_connection_close(portal.bus);
        dbus_connection_unref(portal.bus);
        portal.bus = nullptr;
    }
    if (!portal.bus) {
        os_lnx_capture_end(capture, OS_CAPTURE_NO_PORTAL, "No desktop portal: no session bus (%s)",
                           error.message ? error.message : "DBUS_SESSION_BUS_ADDRESS is not set");
        dbus_error_free(&error);
        return false;
    }
    dbus_connection_set_exit_on_disconnect(portal.bus, false);
    const char *unique = dbus_bus_get_unique_name(portal.bus);
    i32 length = os_format(portal.sender, (i32)sizeof portal.sender, "%s", unique && unique[0] == ':' ? unique + 1 : "");
    for (i32 i = 0; i < length && i < (i32)sizeof portal.sender; i++)
        if (portal.sender[i] == '.') portal.sender[i] = '_';

    const char *names[2] = {"version", "AvailableCursorModes"};
    u32 values[2] = {0, 0};
    for (i32 i = 0; i < 2; i++) {
        DBusMessage *get = portal_method(portal_path, "org.freedesktop.DBus.Properties", "Get");
        dbus_message_append_args(get, DBUS_TYPE_STRING, &screencast_interface, DBUS_TYPE_STRING, &names[i],
                                 DBUS_TYPE_INVALID);
        DBusMessage *reply = portal_call(capture, get, &error);
        if (!reply) {
            os_lnx_capture_end(capture, OS_CAPTURE_NO_PORTAL, "No ScreenCast desktop portal: %s", error.message);
            dbus_error_free(&error);
            return false;
        }
        DBusMessageIter iter, variant;
        if (dbus_message_iter_init(reply, &iter) && dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
            dbus_message_iter_recurse(&iter, &variant);
            if (dbus_message_iter_get_arg_type(&variant) == DBUS_TYPE_UINT32)
                dbus_message_iter_get_basic(&variant, &values[i]);
        }
        dbus_message_unref(reply);
    }
    portal.version = values[0];
    *cursor_modes = values[1];
    return true;
}

bool os_lnx_portal_open(OsCapture *capture) {
    OsLnxPortal &portal = capture->portal;
    u32 cursor_modes = 0;
    if (!portal_connect(capture, &cursor_modes)) return false;

    // CreateSession
    char session_token[64];
    os_format(session_token, (i32)sizeof session_token, "vornby%u", (u32)getpid());
    PortalOption options[8] = {{"session_handle_token", DBUS_TYPE_STRING, 0, session_token}};
    DBusMessage *call = portal_method(portal_path, screencast_interface, "CreateSession");
    DBusMessageIter args, results;
    dbus_message_iter_init_append(call, &args);
    DBusMessage *response = nullptr;
    if (!portal_request(capture, call, &args, options, 1, "CreateSession", true, &response)) return false;
    portal_results(response, &results);
    bool named = portal_find_text(&results, "session_handle", portal.session, (i32)sizeof portal.session);
    dbus_message_unref(response);
    if (!named) {
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "The desktop portal gave no session");
        return false;
    }
    portal_subscribe(capture, "org.freedesktop.portal.Session", "Closed", portal.session);
    const char *session = portal.session;

    // SelectSources: monitors, the pointer as asked when the desktop can.
    u32 cursor = capture->settings.show_cursor ? PORTAL_CURSOR_EMBEDDED : PORTAL_CURSOR_HIDDEN;
    if (cursor_modes && !(cursor_modes & cursor)) cursor = cursor_modes & PORTAL_CURSOR_EMBEDDED ? PORTAL_CURSOR_EMBEDDED : PORTAL_CURSOR_HIDDEN;
    i32 count = 0;
    options[count++] = PortalOption{"types", DBUS_TYPE_UINT32, PORTAL_SOURCE_MONITOR, nullptr};
    options[count++] = PortalOption{"multiple", DBUS_TYPE_BOOLEAN, 1, nullptr};
    options[count++] = PortalOption{"cursor_mode", DBUS_TYPE_UINT32, cursor, nullptr};
    if (portal.version >= PORTAL_RESTORE_VERSION) {
        options[count++] = PortalOption{"persist_mode", DBUS_TYPE_UINT32, PORTAL_PERSIST_UNTIL_REVOKED, nullptr};
        if (capture->restore_token[0])
            options[count++] = PortalOption{"restore_token", DBUS_TYPE_STRING, 0, capture->restore_token};
    }
    call = portal_method(portal_path, screencast_interface, "SelectSources");
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    if (!portal_request(capture, call, &args, options, count, "SelectSources", false, &response)) return false;
    dbus_message_unref(response);

    // Start: the streams, and the token for the next time.
    const char *parent_window = "";
    call = portal_method(portal_path, screencast_interface, "Start");
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &parent_window);
    if (!portal_request(capture, call, &args, options, 0, "Start", false, &response)) return false;
    portal_results(response, &results);
    char token[sizeof capture->status.restore_token] = "";
    portal_find_text(&results, "restore_token", token, (i32)sizeof token);
    DBusMessageIter streams, stream, fields;
    if (portal_find(&results, "streams", &streams) && dbus_message_iter_get_arg_type(&streams) == DBUS_TYPE_ARRAY) {
        dbus_message_iter_recurse(&streams, &stream);
        for (; dbus_message_iter_get_arg_type(&stream) == DBUS_TYPE_STRUCT && portal.stream_count < OS_LNX_PORTAL_STREAMS_MAX;
             dbus_message_iter_next(&stream)) {
            dbus_message_iter_recurse(&stream, &fields);
            if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_UINT32) continue;
            OsLnxPortalStream &found = portal.streams[portal.stream_count++];
            dbus_message_iter_get_basic(&fields, &found.node);
            dbus_message_iter_next(&fields);
            OsRect &m = found.monitor;
            found.placed = portal_find_pair(&fields, "position", &m.x, &m.y) &&
                           portal_find_pair(&fields, "size", &m.width, &m.height) && m.width > 0 && m.height > 0;
        }
    }
    dbus_message_unref(response);
    pthread_mutex_lock(&capture->lock);
    os_format(capture->status.restore_token, (i32)sizeof capture->status.restore_token, "%s", token);
    pthread_mutex_unlock(&capture->lock);
    if (!portal.stream_count) {
        os_lnx_capture_end(capture, OS_CAPTURE_FAILED, "The desktop portal shared no monitor");
        return false;
    }

    // OpenPipeWireRemote
    DBusError error;
    dbus_error_init(&error);
    call = portal_method(portal_path, screencast_interface, "OpenPipeWireRemote");
    dbus_message_iter_init_append(call, &args);
    dbus_message_iter_append_basic(&args, DBUS_TYPE_OBJECT_PATH, &session);
    portal_append_options(&args, options, 0);
    DBusMessage *reply = portal_call(capture, call, &error);
    int fd = -1;
    if (reply) dbus_message_get_args(reply, &error, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID);
    if (reply) dbus_message_unref(reply);
    if (fd < 0) {
        os_lnx_capture_end(capture, OS_CAPTURE_NO_PIPEWIRE, "The desktop portal opened no PipeWire connection: %s",
                           error.message ? error.message : "no descriptor");
        dbus_error_free(&error);
        return false;
    }
    portal.pipewire_fd = fd;
    return true;
}

bool os_lnx_portal_closed(OsCapture *capture) {
    OsLnxPortal &portal = capture->portal;
    if (!portal.bus) return false;
    bool closed = !dbus_connection_read_write(portal.bus, 0);
    while (DBusMessage *message = dbus_connection_pop_message(portal.bus)) {
        if (portal_is_session_closed(capture, message)) closed = true;
        dbus_message_unref(message);
    }
    return closed;
}

void os_lnx_portal_close(OsCapture *capture) {
    OsLnxPortal &portal = capture->portal;
    if (portal.pipewire_fd >= 0) close(portal.pipewire_fd);
    portal.pipewire_fd = -1;
    if (!portal.bus) return;
    if (portal.session[0] && dbus_connection_get_is_connected(portal.bus)) {
        DBusMessage *close_call = portal_method(portal.session, "org.freedesktop.portal.Session", "Close");
        dbus_message_set_no_reply(close_call, true);
        dbus_connection_send(portal.bus, close_call, nullptr);
        dbus_message_unref(close_call);
        dbus_connection_flush(portal.bus);
    }
    dbus_connection_close(portal.bus);
    dbus_connection_unref(portal.bus);
    portal.bus = nullptr;
}
