// The instance channel over an abstract unix socket: the kernel frees the
// name when the last descriptor closes, so a holder killed hard leaves no
// stale file behind, and close-on-exec keeps it from the children. Abstract
// names have no permissions, so the user id is in the name and each side
// checks the other's credentials.
#include "os_lnx_posix.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static int os_lnx_instance_socket = -1;
static char os_lnx_instance_text[OS_INSTANCE_MESSAGE_CAPACITY + 1];

// The abstract address: a NUL, then "name.uid"; its length for bind/connect.
static socklen_t os_lnx_instance_address(StrSlice name, sockaddr_un *address) {
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    int length = snprintf(address->sun_path + 1, sizeof address->sun_path - 1, "%.*s.%u", (int)name.length,
                          name.data, (unsigned)getuid());
    return (socklen_t)(offsetof(sockaddr_un, sun_path) + 1 + length);
}

static bool os_lnx_peer_is_us(int fd) {
    ucred peer = {};
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
}

// A connection to the name's holder, checked to be of this user; -1 with
// errno ECONNREFUSED (nobody holds it), EPERM (another user does) or other.
static int os_lnx_instance_connect(StrSlice name) {
    sockaddr_un address;
    socklen_t length = os_lnx_instance_address(name, &address);
    // Non-blocking: a holder whose queue is full must not hang the sender.
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, (sockaddr *)&address, length) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    if (!os_lnx_peer_is_us(fd)) {
        close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

i32 os_platform_instance_claim(StrSlice name) {
    sockaddr_un address;
    socklen_t length = os_lnx_instance_address(name, &address);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return OS_INSTANCE_FAILED;
    if (bind(fd, (sockaddr *)&address, length) == 0 && listen(fd, 16) == 0) {
        os_lnx_instance_socket = fd;
        return OS_INSTANCE_CLAIMED;
    }
    bool taken = errno == EADDRINUSE;
    close(fd);
    if (!taken) return OS_INSTANCE_FAILED;
    // Whose is it? A holder still between its bind and listen refuses the
    // connection, and is ours as surely as one that answers.
    int holder = os_lnx_instance_connect(name);
    bool ours = holder >= 0 || errno == ECONNREFUSED || errno == EAGAIN;
    if (holder >= 0) close(holder);
    return ours ? OS_INSTANCE_HELD : OS_INSTANCE_FAILED;
}

i32 os_platform_instance_send(StrSlice name, StrSlice text) {
    int fd = os_lnx_instance_connect(name);
    if (fd < 0) return errno == ECONNREFUSED || errno == ENOENT ? OS_INSTANCE_NONE_RUNNING : OS_INSTANCE_NOT_DELIVERED;
    // One packet: it arrives whole or not at all.
    bool sent = send(fd, text.data, (size_t)text.length, MSG_NOSIGNAL) == (ssize_t)text.length;
    close(fd);
    return sent ? OS_INSTANCE_DELIVERED : OS_INSTANCE_NOT_DELIVERED;
}

int os_lnx_instance_fd(void) { return os_lnx_instance_socket; }

bool os_lnx_instance_take(StrSlice *message) {
    if (os_lnx_instance_socket < 0) return false;
    for (;;) {
        int fd = accept4(os_lnx_instance_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return false; // EAGAIN: nothing waits
        // The sender writes at once after connecting; one that does not is
        // given a moment, never the whole event loop.
        timeval patience = {0, 200 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        ssize_t got = -1;
        if (os_lnx_peer_is_us(fd)) {
            do got = recv(fd, os_lnx_instance_text, OS_INSTANCE_MESSAGE_CAPACITY + 1, 0);
            while (got < 0 && errno == EINTR);
        }
        close(fd);
        // Empty (a claim checking who holds the name) or longer than any
        // text a sender may send: nothing to deliver.
        if (got < 1 || got > OS_INSTANCE_MESSAGE_CAPACITY) continue;
        os_lnx_instance_text[got] = 0;
        *message = StrSlice{(i64)got, os_lnx_instance_text};
        return true;
    }
}
