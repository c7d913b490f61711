// Linux: the interfaces of /sys/bus/usb/devices, each with its bInterfaceClass.
#include "norvpcsc_usb.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace norvpcsc {

namespace {

std::string FirstLine(const std::string &path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

} // namespace

bool ReaderInterfaces(std::vector<std::string> &interfaces)
{
    interfaces.clear();
    const char *chosen = std::getenv("NORVANE_PCSC_USB_DEVICES");
    const std::string root = chosen && *chosen ? chosen : "/sys/bus/usb/devices";
    const std::unique_ptr<DIR, int (*)(DIR *)> folder(::opendir(root.c_str()), ::closedir);
    if (!folder)
        return false;
    while (const dirent *entry = ::readdir(folder.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        const std::string path = root + "/" + name;
        const std::string type = FirstLine(path + "/bInterfaceClass");
        if (type == "0b" || type == "0B" || type == "ff" || type == "FF")
            interfaces.push_back(name + " " + FirstLine(path + "/../devnum"));
    }
    std::sort(interfaces.begin(), interfaces.end());
    return true;
}

} // namespace norvpcsc
