/* A stand-in for Wine's cfgmgr32.dll, for running the Windows build's tool
 * under Wine against a real HID device (the kernel test's windows stage).
 *
 * hidapi's Windows backend lists HID interfaces with the configuration
 * manager's CM_Get_Device_Interface_List_SizeW and CM_Get_Device_Interface_ListW,
 * and looks up CM_Get_Device_Interface_PropertyW when it starts. In Wine 8.0
 * (the one Debian 12 ships) the first two are stubs that list nothing, and
 * the third does not exist, so hidapi finds no device at all. This DLL lists
 * the interfaces through setupapi's device-interface functions, which Wine
 * implements, answers the property question with "no such value" (hidapi
 * then leaves the interface's bus details empty), and hands the other
 * functions hidapi looks up to Wine's setupapi (cfgmgr32.def). Windows has all
 * of them since Vista; this DLL is never shipped. */
#include <windows.h>
#include <setupapi.h>

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

typedef DWORD CONFIGRET;
#define CR_SUCCESS 0x00000000
#define CR_FAILURE 0x00000013
#define CR_NO_SUCH_VALUE 0x00000025
#define CR_BUFFER_SMALL 0x0000001A

/* The present interfaces of `guid` as one list of NUL-ended paths ending
 * with an empty one: written to `buffer` when it holds `length` characters,
 * its length in characters given in `needed`. */
static CONFIGRET list_interfaces(const GUID *guid, WCHAR *buffer, ULONG length, ULONG *needed)
{
    HDEVINFO set = SetupDiGetClassDevsW(guid, NULL, NULL, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    SP_DEVICE_INTERFACE_DATA iface;
    ULONG total = 0;
    DWORD index;

    if (set == INVALID_HANDLE_VALUE) return CR_FAILURE;
    iface.cbSize = sizeof(iface);
    for (index = 0; SetupDiEnumDeviceInterfaces(set, NULL, guid, index, &iface); ++index)
    {
        SP_DEVICE_INTERFACE_DETAIL_DATA_W *detail;
        DWORD size = 0;

        SetupDiGetDeviceInterfaceDetailW(set, &iface, NULL, 0, &size, NULL);
        if (!size || !(detail = malloc(size))) continue;
        detail->cbSize = sizeof(*detail);
        if (SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, size, NULL, NULL))
        {
            const ULONG path_length = (ULONG)wcslen(detail->DevicePath) + 1;
            if (buffer && total + path_length < length)
                memcpy(buffer + total, detail->DevicePath, path_length * sizeof(WCHAR));
            total += path_length;
        }
        free(detail);
    }
    SetupDiDestroyDeviceInfoList(set);
    ++total; /* the empty path that ends the list */
    if (needed) *needed = total;
    if (!buffer) return CR_SUCCESS;
    if (total > length) return CR_BUFFER_SMALL;
    buffer[total - 1] = 0;
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(ULONG *length, GUID *guid, WCHAR *device,
                                                    ULONG flags)
{
    (void)device;
    (void)flags;
    if (!length || !guid) return CR_FAILURE;
    return list_interfaces(guid, NULL, 0, length);
}

CONFIGRET WINAPI CM_Get_Device_Interface_ListW(GUID *guid, WCHAR *device, WCHAR *buffer,
                                               ULONG length, ULONG flags)
{
    (void)device;
    (void)flags;
    if (!guid || !buffer || !length) return CR_FAILURE;
    return list_interfaces(guid, buffer, length, NULL);
}

CONFIGRET WINAPI CM_Get_Device_Interface_PropertyW(LPCWSTR interface_path, const void *property_key,
                                                   ULONG *property_type, BYTE *buffer,
                                                   ULONG *size, ULONG flags)
{
    (void)interface_path;
    (void)property_key;
    (void)buffer;
    (void)flags;
    if (property_type) *property_type = 0;
    if (size) *size = 0;
    return CR_NO_SUCH_VALUE;
}
