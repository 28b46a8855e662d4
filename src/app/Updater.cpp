#include "app/Updater.h"

std::string Updater::UpdateYoutubeDL()
{
    return "not implemented";
}
