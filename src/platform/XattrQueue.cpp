#include "XattrQueue.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace lumorra {
namespace {

constexpr unsigned Entries = 256;
constexpr size_t ValueSize = 32;

int ringSetup(unsigned entries, io_uring_params* params) {
    return static_cast<int>(::syscall(__NR_io_uring_setup, entries, params));
}
int ringEnter(int fd, unsigned submit, unsigned wait, unsigned flags) {
    return static_cast<int>(
        ::syscall(__NR_io_uring_enter, fd, submit, wait, flags, nullptr, size_t{0}));
}
int ringRegister(int fd, unsigned op, void* arg, unsigned count) {
    return static_cast<int>(::syscall(__NR_io_uring_register, fd, op, arg, count));
}

} // namespace

struct XattrQueue::Ring {
    int fd = -1;
    void* sq = MAP_FAILED;
    size_t sqSize = 0;
    void* cq = MAP_FAILED;
    size_t cqSize = 0;
    io_uring_sqe* sqes = static_cast<io_uring_sqe*>(MAP_FAILED);
    size_t sqesSize = 0;
    unsigned* sqHead = nullptr;
    unsigned* sqTail = nullptr;
    unsigned sqMask = 0;
    unsigned* sqArray = nullptr;
    unsigned* cqHead = nullptr;
    unsigned* cqTail = nullptr;
    unsigned cqMask = 0;
    io_uring_cqe* cqes = nullptr;
    unsigned entries = 0;

    ~Ring() {
        if (sqes != MAP_FAILED)
            ::munmap(sqes, sqesSize);
        if (cq != MAP_FAILED && cq != sq)
            ::munmap(cq, cqSize);
        if (sq != MAP_FAILED)
            ::munmap(sq, sqSize);
        if (fd >= 0)
            ::close(fd);
    }

    bool setUp() {
        io_uring_params p{};
        fd = ringSetup(Entries, &p);
        if (fd < 0)
            return false;
        entries = p.sq_entries;
        sqSize = p.sq_off.array + p.sq_entries * sizeof(unsigned);
        cqSize = p.cq_off.cqes + p.cq_entries * sizeof(io_uring_cqe);
        const bool single = (p.features & IORING_FEAT_SINGLE_MMAP) != 0;
        if (single)
            sqSize = cqSize = std::max(sqSize, cqSize);
        sq = ::mmap(nullptr, sqSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd,
                    IORING_OFF_SQ_RING);
        if (sq == MAP_FAILED)
            return false;
        cq = single ? sq
                    : ::mmap(nullptr, cqSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd,
                             IORING_OFF_CQ_RING);
        if (cq == MAP_FAILED)
            return false;
        sqesSize = p.sq_entries * sizeof(io_uring_sqe);
        sqes = static_cast<io_uring_sqe*>(::mmap(nullptr, sqesSize, PROT_READ | PROT_WRITE,
                                                 MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQES));
        if (sqes == MAP_FAILED)
            return false;
        char* s = static_cast<char*>(sq);
        char* c = static_cast<char*>(cq);
        sqHead = reinterpret_cast<unsigned*>(s + p.sq_off.head);
        sqTail = reinterpret_cast<unsigned*>(s + p.sq_off.tail);
        sqMask = *reinterpret_cast<unsigned*>(s + p.sq_off.ring_mask);
        sqArray = reinterpret_cast<unsigned*>(s + p.sq_off.array);
        cqHead = reinterpret_cast<unsigned*>(c + p.cq_off.head);
        cqTail = reinterpret_cast<unsigned*>(c + p.cq_off.tail);
        cqMask = *reinterpret_cast<unsigned*>(c + p.cq_off.ring_mask);
        cqes = reinterpret_cast<io_uring_cqe*>(c + p.cq_off.cqes);
        return p.cq_entries >= entries;
    }

    // Whether the kernel knows the extended-attribute look-up (it came after the queue).
    bool hasGetxattr() {
        const size_t size = sizeof(io_uring_probe) + 256 * sizeof(io_uring_probe_op);
        std::vector<unsigned char> buffer(size, 0);
        auto* probe = reinterpret_cast<io_uring_probe*>(buffer.data());
        if (ringRegister(fd, IORING_REGISTER_PROBE, probe, 256) < 0)
            return false;
        return IORING_OP_GETXATTR <= probe->last_op &&
               (probe->ops[IORING_OP_GETXATTR].flags & IO_URING_OP_SUPPORTED) != 0;
    }
};

XattrQueue::~XattrQueue() {
    delete ring_;
}

bool XattrQueue::open() {
    if (ring_)
        return true;
    auto* ring = new Ring;
    if (!ring->setUp() || !ring->hasGetxattr()) {
        delete ring;
        return false;
    }
    ring_ = ring;
    return true;
}

void XattrQueue::run(const char* attribute, const Next& next, const Done& done) {
    Ring& r = *ring_;
    // One value buffer per queue slot, handed out again when its look-up completes.
    std::vector<char> values(static_cast<size_t>(r.entries) * ValueSize);
    std::vector<unsigned> freeSlots;
    for (unsigned i = 0; i < r.entries; ++i)
        freeSlots.push_back(r.entries - 1 - i);
    std::vector<uint64_t> ids(r.entries);
    unsigned inFlight = 0; // submitted, not yet completed
    unsigned queued = 0;   // in the submission ring, not yet taken by the kernel
    bool broken = false;
    bool more = true;
    for (;;) {
        unsigned tail = *r.sqTail;
        while (more && !broken && !freeSlots.empty()) {
            uint64_t id = 0;
            const char* path = nullptr;
            if (!next(id, path)) {
                more = false;
                break;
            }
            const unsigned slot = freeSlots.back();
            freeSlots.pop_back();
            ids[slot] = id;
            io_uring_sqe* sqe = &r.sqes[tail & r.sqMask];
            std::memset(sqe, 0, sizeof *sqe);
            sqe->opcode = IORING_OP_GETXATTR;
            sqe->addr = reinterpret_cast<uintptr_t>(attribute);
            sqe->addr2 = reinterpret_cast<uintptr_t>(values.data() + slot * ValueSize);
            sqe->addr3 = reinterpret_cast<uintptr_t>(path);
            sqe->len = ValueSize - 1;
            sqe->user_data = slot;
            r.sqArray[tail & r.sqMask] = tail & r.sqMask;
            ++tail;
            ++queued;
        }
        __atomic_store_n(r.sqTail, tail, __ATOMIC_RELEASE);
        if (queued + inFlight == 0)
            break;
        const unsigned submit = broken ? 0 : queued;
        const int n =
            ringEnter(r.fd, submit, inFlight + submit > 0 ? 1 : 0, IORING_ENTER_GETEVENTS);
        if (n >= 0) {
            queued -= static_cast<unsigned>(n);
            inFlight += static_cast<unsigned>(n);
        } else if (errno != EINTR && errno != EAGAIN && errno != EBUSY) {
            broken = true;
            // The look-ups under way still write into the buffers: wait for them without the
            // queue's help.
            if (inFlight > 0)
                ::usleep(1000);
        }
        if (broken && queued > 0) {
            // The kernel will not take what is still queued: those look-ups go back to the
            // caller. Nothing enters the ring any more, so their slots are never read.
            for (unsigned head = __atomic_load_n(r.sqHead, __ATOMIC_ACQUIRE); head != tail;
                 ++head) {
                const io_uring_sqe& sqe = r.sqes[r.sqArray[head & r.sqMask]];
                const auto slot = static_cast<unsigned>(sqe.user_data);
                done(ids[slot], -ECANCELED, nullptr);
            }
            queued = 0;
        }
        unsigned head = *r.cqHead;
        const unsigned cqTail = __atomic_load_n(r.cqTail, __ATOMIC_ACQUIRE);
        for (; head != cqTail; ++head) {
            const io_uring_cqe& cqe = r.cqes[head & r.cqMask];
            const auto slot = static_cast<unsigned>(cqe.user_data);
            done(ids[slot], cqe.res, values.data() + slot * ValueSize);
            freeSlots.push_back(slot);
            --inFlight;
        }
        __atomic_store_n(r.cqHead, head, __ATOMIC_RELEASE);
        if (broken && inFlight == 0)
            break;
    }
}

} // namespace lumorra
