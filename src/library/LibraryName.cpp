#include "library/LibraryName.h"
#include "library/SafeName.h"

using namespace Library;

std::string LibraryName::FileName(int number) const
{
    const std::string counter = number > 1 ? " (" + std::to_string(number) + ")" : "";
    const std::string ending = counter + (extension.empty() ? "" : "." + extension);
    return SafeName::Finish(stem, SafeName::maxBytes - ending.size()) + ending;
}

std::string LibraryName::Path(int number) const
{
    std::string path;
    for (const std::string& folder : folders)
        path += folder + "/";
    return path + FileName(number);
}
