#include "HidrawIoctl.h"

#include <cerrno>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

namespace {

// The length is encoded in the ioctl number and limited to 14 bits.
constexpr std::size_t kMaxIoctlLength = (1u << 14) - 1;

template <typename Arg> int retryingIoctl(int fd, unsigned long request, Arg arg)
{
    int r;
    do {
        r = ::ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r < 0 ? -errno : r;
}

} // namespace

namespace HidrawIoctl {

int reportDescriptor(int fd, std::vector<std::uint8_t> &descriptor)
{
    int size = 0;
    if (int r = retryingIoctl(fd, HIDIOCGRDESCSIZE, &size); r < 0)
        return r;
    if (size < 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return -EINVAL;

    hidraw_report_descriptor raw{};
    raw.size = static_cast<__u32>(size);
    if (int r = retryingIoctl(fd, HIDIOCGRDESC, &raw); r < 0)
        return r;
    descriptor.assign(raw.value, raw.value + size);
    return size;
}

int getInputReport(int fd, std::uint8_t *buf, std::size_t len)
{
#ifdef HIDIOCGINPUT
    if (len == 0 || len > kMaxIoctlLength)
        return -EINVAL;
    return retryingIoctl(fd, HIDIOCGINPUT(len), buf);
#else
    (void)fd;
    (void)buf;
    (void)len;
    return -ENOTTY; // kernel headers older than 5.11
#endif
}

int getFeatureReport(int fd, std::uint8_t *buf, std::size_t len)
{
    if (len == 0 || len > kMaxIoctlLength)
        return -EINVAL;
    return retryingIoctl(fd, HIDIOCGFEATURE(len), buf);
}

int setFeatureReport(int fd, const std::uint8_t *buf, std::size_t len)
{
    if (len == 0 || len > kMaxIoctlLength)
        return -EINVAL;
    return retryingIoctl(fd, HIDIOCSFEATURE(len), const_cast<std::uint8_t *>(buf));
}

} // namespace HidrawIoctl
