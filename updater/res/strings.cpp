#include "resource.h"

const char* LoadResourceString(int id)
{
    switch (id) {
    case IDS_SOCKET_INIT_FAILED:
        return "Windows 套接字初始化失败。";
    default:
        return "";
    }
}
