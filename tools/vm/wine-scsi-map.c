/* Enters SCSI devices into the registry's SCSI map, as a Windows port
 * driver does and as Wine's ASPI layer reads it: for each argument
 * "PORT:BUS:TARGET:LUN=/dev/sgN" the key
 * HKLM\HARDWARE\DEVICEMAP\Scsi\Scsi Port PORT\Scsi Bus BUS\Target Id TARGET\
 * Logical Unit Id LUN with the value UnixDeviceName. The map lives in the
 * volatile part of the registry (it is made anew at every start), where
 * regedit and reg cannot create keys. Run inside the virtual machine. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static HKEY create(HKEY parent, const char *name) {
  HKEY key = NULL;
  LONG error = RegCreateKeyExA(parent, name, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL,
                               &key, NULL);
  if (error != ERROR_SUCCESS) {
    fprintf(stderr, "wine-scsi-map: cannot create %s (error %ld)\n", name, error);
    return NULL;
  }
  return key;
}

int main(int argc, char **argv) {
  int failures = 0;
  for (int i = 1; i < argc; ++i) {
    int port, bus, target, lun, used = 0;
    if (sscanf(argv[i], "%d:%d:%d:%d=%n", &port, &bus, &target, &lun, &used) != 4 || used == 0) {
      fprintf(stderr, "wine-scsi-map: not PORT:BUS:TARGET:LUN=DEVICE: %s\n", argv[i]);
      ++failures;
      continue;
    }
    const char *device = argv[i] + used;
    char path[160];
    snprintf(path, sizeof path, "Scsi Port %d\\Scsi Bus %d\\Target Id %d\\Logical Unit Id %d",
             port, bus, target, lun);
    HKEY key = create(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP");
    char *part = strtok(path, "\\");
    const char *scsi = "Scsi";
    HKEY next = key ? create(key, scsi) : NULL;
    if (key) RegCloseKey(key);
    key = next;
    for (; key && part; part = strtok(NULL, "\\")) {
      next = create(key, part);
      RegCloseKey(key);
      key = next;
    }
    if (!key ||
        RegSetValueExA(key, "UnixDeviceName", 0, REG_SZ, (const BYTE *)device,
                       (DWORD)strlen(device) + 1) != ERROR_SUCCESS) {
      ++failures;
    } else {
      printf("wine-scsi-map: %d:%d:%d:%d is %s\n", port, bus, target, lun, device);
    }
    if (key) RegCloseKey(key);
  }
  return failures == 0 ? 0 : 1;
}
