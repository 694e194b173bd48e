"""The simulated machine's /sys/class: power supplies and DMI identification.

Wine reads GetSystemPowerStatus from /sys/class/power_supply (the AC line's "online" value is
passed on as ACLineStatus, so 255 means "unknown"; the charge is charge_now/charge_full weighted
by voltage_now) and builds its SMBIOS tables, which WMI's Win32_BIOS reports, from
/sys/class/dmi/id. Only ever call this inside a private mount namespace.
"""

import os
import subprocess

AC_ONLINE = {"on": 1, "off": 0, "unknown": 255}
_CHARGE_FULL = 4_000_000  # microampere-hours
_VOLTAGE = 11_100_000  # microvolts


def _write(path, value):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="ascii") as handle:
        handle.write(f"{value}\n")


def dmi_files(bios_version):
    """Every file of /sys/class/dmi/id that Wine's SMBIOS tables draw on."""
    return {"bios_vendor": "Tamrel Computer", "bios_version": bios_version,
            "bios_date": "03/12/2015", "bios_release": "1.13", "sys_vendor": "Tamrel Computer",
            "product_name": "Notebook MIRTS", "product_version": "1.0",
            "product_serial": "E2E0000001", "product_uuid": "4c4c4544-0000-1010-8000-b2c04f333331",
            "product_sku": "MIRTS", "product_family": "MIRTS", "board_vendor": "Tamrel Computer",
            "board_name": "MIRTS", "board_version": "1.0", "board_serial": "E2EBOARD01",
            "board_asset_tag": "", "chassis_vendor": "Tamrel Computer", "chassis_type": "10",
            "chassis_version": "1.0", "chassis_serial": "E2ECHASSIS01", "chassis_asset_tag": ""}


def power_files(ac, battery):
    """Files of /sys/class/power_supply for an AC line state and a battery percent (or None)."""
    if ac not in AC_ONLINE:
        raise ValueError(f"ac must be one of {sorted(AC_ONLINE)}, not {ac!r}")
    files = {"AC/type": "Mains", "AC/online": AC_ONLINE[ac]}
    if battery is not None:
        if not isinstance(battery, int) or not 0 <= battery <= 100:
            raise ValueError(f"battery must be a percent 0..100 or None, not {battery!r}")
        charge_now = _CHARGE_FULL * battery // 100
        energy_full = _CHARGE_FULL * _VOLTAGE // 1_000_000
        if battery == 100:
            status = "Full"
        else:
            status = "Charging" if ac == "on" else "Discharging"
        files.update({
            "BAT0/type": "Battery", "BAT0/present": 1, "BAT0/status": status,
            "BAT0/capacity": battery, "BAT0/voltage_now": _VOLTAGE,
            "BAT0/charge_now": charge_now, "BAT0/charge_full": _CHARGE_FULL,
            "BAT0/charge_full_design": _CHARGE_FULL,
            "BAT0/energy_now": energy_full * battery // 100, "BAT0/energy_full": energy_full,
            "BAT0/current_now": 1_000_000})
    return files


def write_machine_files(root, ac, battery, bios_version):
    """Writes the simulated machine's files below root (a /sys/class)."""
    for name, value in power_files(ac, battery).items():
        _write(os.path.join(root, "power_supply", name), value)
    for name, value in dmi_files(bios_version).items():
        _write(os.path.join(root, "dmi", "id", name), value)


def mount_fake_sysfs(ac, battery, bios_version, root="/sys/class"):
    """Hides the real /sys/class under a tmpfs holding only the simulated machine."""
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "e2e-sysfs", root], check=True,
                   timeout=30)
    write_machine_files(root, ac, battery, bios_version)
