/* Enters SCSI devices into the registry's SCSI map, as a Windows port
 * driver does and as Wine's ASPI layer reads it: for each argument
 * "PORT:BUS:TARGET:LUN=/dev/sgN" the key
 * HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port PORT\Scsi Bus BUS\Target Id TARGET\
 * Logical Unit Id LUN with the value UnixDeviceName. The map lives in the
 * volatile part of the registry (it is made anew at every start), where
 * regedit and reg cannot create keys. Run inside the virtual machine.
 * With --addresses it prints instead, for each drive letter of type CD-ROM,
 * the SCSI address Wine's CD-ROM driver answers to IOCTL_SCSI_GET_ADDRESS:
 * "address: D: port P path B target T lun L". */
#include <stdio.h>
#include <string.h>
#include <windows.h>
/* In this order: winioctl.h needs windows.h, and ntddscsi.h needs winioctl.h. */
#include <winioctl.h>

#include <ntddscsi.h>

static HKEY create(HKEY parent, const char* name) {
  HKEY key = NULL;
  LONG error =
      RegCreateKeyExA(parent, name, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &key, NULL);
  if (error != ERROR_SUCCESS) {
    fprintf(stderr, "wine-scsi-map: cannot create %s (error %ld)\n", name, error);
    return NULL;
  }
  return key;
}

static int print_addresses(void) {
  int failures = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const char root[] = {letter, ':', '\\', '\0'};
    if (GetDriveTypeA(root) != DRIVE_CDROM) continue;
    const char path[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
    HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    SCSI_ADDRESS address = {0};
    DWORD returned = 0;
    if (handle == INVALID_HANDLE_VALUE ||
        !DeviceIoControl(handle, IOCTL_SCSI_GET_ADDRESS, NULL, 0, &address, sizeof address,
                         &returned, NULL)) {
      printf("address: %c: none (error %lu)\n", letter, GetLastError());
      ++failures;
    } else {
      printf("address: %c: port %u path %u target %u lun %u\n", letter, address.PortNumber,
             address.PathId, address.TargetId, address.Lun);
    }
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  return failures == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--addresses") == 0) return print_addresses();
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    int port, bus, target, lun, used = 0;
    if (sscanf(argv[i], "%d:%d:%d:%d=%n", &port, &bus, &target, &lun, &used) != 4 || used == 0) {
      fprintf(stderr, "wine-scsi-map: not PORT:BUS:TARGET:LUN=DEVICE: %s\n", argv[i]);
      ++failures;
      continue;
    }
    const char* device = argv[i] + used;
    char path[160];
    snprintf(path, sizeof path, "Scsi Port %d\\Scsi Bus %d\\Target Id %d\\Logical Unit Id %d", port,
             bus, target, lun);
    HKEY key = create(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP");
    char* part = strtok(path, "\\");
    const char* scsi = "Scsi";
    HKEY next = key ? create(key, scsi) : NULL;
    if (key) RegCloseKey(key);
    key = next;
    for (; key && part; part = strtok(NULL, "\\")) {
      next = create(key, part);
      RegCloseKey(key);
      key = next;
    }
    if (!key || RegSetValueExA(key, "UnixDeviceName", 0, REG_SZ, (const BYTE*)device,
                               (DWORD)strlen(device) + 1) != ERROR_SUCCESS) {
      ++failures;
    } else {
      printf("wine-scsi-map: %d:%d:%d:%d is %s\n", port, bus, target, lun, device);
    }
    if (key) RegCloseKey(key);
  }
  return failures == 0 ? 0 : 1;
}
