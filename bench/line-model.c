/* A player's line between 127.0.0.1 and a local server, fast enough for 1 Gbit/s at 100 ms.
 *
 * Usage: line-model TARGET_PORT ROUND_TRIP_MS [RATE_MBIT_PER_S]
 * Listens on 127.0.0.1 at an ephemeral port, prints "listening on PORT" once ready, and relays
 * every connection to 127.0.0.1:TARGET_PORT until it is terminated.
 *
 * Each direction of a connection has a thread of its own. The bytes it reads leave one after the
 * other at the line's rate (0 or none: at once) and are written on half the round trip after
 * they have left. What the line holds (in flight and waiting to leave) is bounded by the rate
 * times one and a half round trips, so a sender that outruns the line fills the queue and then
 * its own socket, and slows down as it would in front of a real line. The client's first bytes
 * leave a round trip after it connected, as after a TCP handshake over the line.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { kSocketBuffer = 256 * 1024, kSmallestPiece = 16 * 1024, kLargestPiece = 256 * 1024 };
static const int64_t kUnlimitedHold = 64LL * 1024 * 1024;

struct line {
    int target_port;
    int64_t one_way_ns;
    double bytes_per_ns; /* 0: no rate */
};
static struct line line;

struct connection {
    int client, server;
    atomic_int directions_left;
};

struct piece {
    struct piece *next;
    int64_t due_ns;
    size_t length, written; /* length 0: the end of the stream */
    unsigned char data[];
};

struct direction {
    struct connection *connection;
    int from, to;
    int64_t line_free_ns; /* when the line has sent what it was given so far */
    int64_t held, hold_limit;
    size_t piece_size;
    struct piece *head, *tail;
    int ended; /* the end of the stream has been read */
};

static int64_t now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

/* Bytes read late because this thread was not running waited in the socket meanwhile, as in
 * the line's queue: up to kLateRead of idle line before the read is not lost. */
static const int64_t kLateRead = 1000000;

static void queue_piece(struct direction *d, struct piece *p, int64_t now) {
    if (line.bytes_per_ns > 0) {
        int64_t start = d->line_free_ns > now - kLateRead ? d->line_free_ns : now - kLateRead;
        d->line_free_ns = start + (int64_t)((double)p->length / line.bytes_per_ns);
    } else if (d->line_free_ns < now) {
        d->line_free_ns = now;
    }
    p->due_ns = d->line_free_ns + line.one_way_ns;
    p->next = NULL;
    if (d->tail)
        d->tail->next = p;
    else
        d->head = p;
    d->tail = p;
    d->held += (int64_t)p->length;
}

/* Reads what the line has room for; 0 once the stream has ended. */
static int take_in(struct direction *d, int64_t now) {
    int64_t room = d->hold_limit - d->held;
    size_t size = room < (int64_t)d->piece_size ? (size_t)room : d->piece_size;
    struct piece *p = malloc(sizeof *p + size);
    if (!p)
        return -1;
    ssize_t count = recv(d->from, p->data, size, MSG_DONTWAIT);
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
        free(p);
        return 1;
    }
    p->length = count > 0 ? (size_t)count : 0;
    p->written = 0;
    queue_piece(d, p, now);
    if (count <= 0)
        d->ended = 1;
    return count > 0;
}

/* Writes the pieces that are due; -1 when the receiver is gone, 1 once the end went through. */
static int hand_out(struct direction *d, int64_t now, int *blocked) {
    *blocked = 0;
    while (d->head && d->head->due_ns <= now) {
        struct piece *p = d->head;
        if (p->length == 0) {
            shutdown(d->to, SHUT_WR);
            return 1;
        }
        ssize_t count = send(d->to, p->data + p->written, p->length - p->written, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                *blocked = 1;
                return 0;
            }
            return -1;
        }
        p->written += (size_t)count;
        if (p->written < p->length) {
            *blocked = 1;
            return 0;
        }
        d->held -= (int64_t)p->length;
        d->head = p->next;
        if (!d->head)
            d->tail = NULL;
        free(p);
    }
    return 0;
}

static void finish(struct direction *d) {
    while (d->head) {
        struct piece *p = d->head;
        d->head = p->next;
        free(p);
    }
    struct connection *c = d->connection;
    if (atomic_fetch_sub(&c->directions_left, 1) == 1) {
        close(c->client);
        close(c->server);
        free(c);
    }
    free(d);
}

static void *carry(void *argument) {
    struct direction *d = argument;
    for (;;) {
        int64_t now = now_ns();
        int blocked = 0;
        int out = hand_out(d, now, &blocked);
        if (out != 0) {
            if (out < 0) {
                shutdown(d->from, SHUT_RDWR);
                shutdown(d->to, SHUT_RDWR);
            }
            break;
        }
        struct pollfd watch[2];
        nfds_t count = 0;
        int reading = !d->ended && d->held + kSmallestPiece <= d->hold_limit;
        if (reading)
            watch[count++] = (struct pollfd){.fd = d->from, .events = POLLIN};
        if (blocked)
            watch[count++] = (struct pollfd){.fd = d->to, .events = POLLOUT};
        struct timespec wait, *timeout = NULL;
        if (d->head && !blocked) {
            int64_t left = d->head->due_ns - now;
            if (left < 0)
                left = 0;
            wait = (struct timespec){.tv_sec = left / 1000000000, .tv_nsec = left % 1000000000};
            timeout = &wait;
        }
        if (ppoll(watch, count, timeout, NULL) < 0 && errno != EINTR)
            break;
        if (reading && (watch[0].revents & (POLLIN | POLLHUP | POLLERR)) && take_in(d, now_ns()) < 0)
            break;
    }
    finish(d);
    return NULL;
}

static void start_direction(struct connection *c, int from, int to, int64_t line_free_ns) {
    struct direction *d = calloc(1, sizeof *d);
    d->connection = c;
    d->from = from;
    d->to = to;
    d->line_free_ns = line_free_ns;
    double per_ms = line.bytes_per_ns * 1e6;
    d->piece_size = per_ms == 0 ? kLargestPiece
                    : per_ms < kSmallestPiece ? kSmallestPiece
                    : per_ms > kLargestPiece ? kLargestPiece
                                             : (size_t)per_ms;
    d->hold_limit = line.bytes_per_ns == 0
                        ? kUnlimitedHold
                        : (int64_t)(line.bytes_per_ns * (double)(3 * line.one_way_ns)) + 4 * kLargestPiece;
    pthread_t thread;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (pthread_create(&thread, &attributes, carry, d) != 0)
        finish(d);
    pthread_attr_destroy(&attributes);
}

static void small_buffers(int fd) {
    int size = kSocketBuffer, on = 1;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

static struct sockaddr_in loopback(int port) {
    struct sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons((uint16_t)port)};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

static void relay(int client) {
    int64_t accepted = now_ns();
    int server = socket(AF_INET, SOCK_STREAM, 0);
    small_buffers(server);
    struct sockaddr_in target = loopback(line.target_port);
    if (server < 0 || connect(server, (struct sockaddr *)&target, sizeof target) != 0) {
        close(client);
        if (server >= 0)
            close(server);
        return;
    }
    small_buffers(client);
    struct connection *c = calloc(1, sizeof *c);
    c->client = client;
    c->server = server;
    atomic_init(&c->directions_left, 2);
    start_direction(c, client, server, accepted + 2 * line.one_way_ns);
    start_direction(c, server, client, 0);
}

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4) {
        fprintf(stderr, "usage: %s TARGET_PORT ROUND_TRIP_MS [RATE_MBIT_PER_S]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    line.target_port = atoi(argv[1]);
    line.one_way_ns = (int64_t)(atof(argv[2]) * 1e6 / 2);
    line.bytes_per_ns = argc == 4 ? atof(argv[3]) * 1e6 / 8 / 1e9 : 0;
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    small_buffers(listener);
    struct sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, (struct sockaddr *)&address, sizeof address) != 0 ||
        listen(listener, 64) != 0 || getsockname(listener, (struct sockaddr *)&address, &length) != 0) {
        perror("listen");
        return 1;
    }
    printf("listening on %d\n", ntohs(address.sin_port));
    fflush(stdout);
    for (;;) {
        int client = accept(listener, NULL, NULL);
        if (client >= 0)
            relay(client);
        else if (errno != EINTR)
            return 1;
    }
}
