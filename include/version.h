#ifndef VERSION_H
#define VERSION_H

namespace AutoVersion {
static const char STATUS[] = "beta";
static const char UBUNTU_VERSION_STYLE[] = "20.01";
static const char DATE[] = "26";
}

#endif
