#!/usr/bin/env bash
# Runs inside the kernel test's guest (scripts/kernel-test.sh boots it): the
# host's own root, read-only under a layer that vanishes with the guest, on
# Debian's kernel with two dummy USB host controllers. Makes two USB HID
# gadgets that look like a Zorvik device's interface (0483:5750, one
# vendor-defined 64-byte input and output report without report ids), then
# runs each stage with the emulated devices on the gadgets and the tool on
# hidapi. Each stage's counts and seconds go to RESULTS/stages for the host.
#   kernel-guest.sh SOURCE_DIR BUILD_DIR RESULTS_DIR [STAGES]   (all, linux, or a,b,...)
set -uo pipefail
source_dir=$1
build=$2
results=$3
wanted=",${4:-all},"
tests=$build/tests
cut -d' ' -f1 /proc/uptime >"$results/boot"

say() {
    echo "| $*"
}

# The gadget of one Zorvik interface, left unbound: the emulated device plugs
# it in (binds it to a free controller) when it starts.
make_gadget() { # name serial
    local gadget=/sys/kernel/config/usb_gadget/$1
    mkdir "$gadget" || return 1
    echo 0x0483 >"$gadget/idVendor"
    echo 0x5750 >"$gadget/idProduct"
    echo 0x0200 >"$gadget/bcdUSB"
    mkdir "$gadget/strings/0x409"
    echo Zorvik >"$gadget/strings/0x409/manufacturer"
    echo "GPS device" >"$gadget/strings/0x409/product"
    echo "$2" >"$gadget/strings/0x409/serialnumber"
    mkdir "$gadget/configs/c.1"
    echo 100 >"$gadget/configs/c.1/MaxPower"
    mkdir "$gadget/functions/hid.usb0"
    echo 0 >"$gadget/functions/hid.usb0/protocol"
    echo 0 >"$gadget/functions/hid.usb0/subclass"
    echo 64 >"$gadget/functions/hid.usb0/report_length"
    # Usage page 0xFF00, application collection: 64 bytes in, 64 bytes out.
    printf '\x06\x00\xff\x09\x01\xa1\x01\x15\x00\x26\xff\x00\x75\x08\x95\x40\x09\x01\x81\x02\x95\x40\x09\x01\x91\x02\xc0' \
        >"$gadget/functions/hid.usb0/report_desc"
    ln -s "$gadget/functions/hid.usb0" "$gadget/configs/c.1/"
}

busybox ip link set lo up
if ! make_gadget zorvik0 0001 || ! make_gadget zorvik1 0002; then
    say "cannot make the gadgets"
fi
export TEELINK_EMULATOR_TRANSPORT=gadget
export TEELINK_EMULATOR_GADGETS=/dev/hidg0,/dev/hidg1

stage_name=
stage_passed=0
stage_failed=0
stage_skipped=0
stage_started=0
# Every gadget unplugged: a stage begins with no device, whatever the one
# before it left behind.
unplug_all() {
    local udc
    for udc in /sys/kernel/config/usb_gadget/*/UDC; do
        if [ -n "$(cat "$udc")" ]; then
            say "   (a gadget was left plugged in: $udc)"
            echo >"$udc"
        fi
    done
}
# Whether a stage runs: all of them unless the run names some; "linux" names
# every stage but the Windows build's.
wanted() {
    [ "$wanted" = ",all," ] || [[ "$wanted" == *",$1,"* ]] ||
        { [[ "$wanted" == *",linux,"* ]] && [ "$1" != windows ]; }
}
begin() {
    unplug_all
    stage_name=$1
    stage_passed=0
    stage_failed=0
    stage_skipped=0
    stage_started=$(date +%s)
    say "== $stage_name"
}
end() {
    local seconds=$(($(date +%s) - stage_started))
    echo "$stage_name $stage_passed $stage_failed $stage_skipped $seconds" >>"$results/stages"
    say "   $stage_passed passed, $stage_failed failed, $stage_skipped skipped ($seconds s)"
}
check() { # description, command...
    local what=$1
    shift
    if "$@" >>"$results/$stage_name.log" 2>&1; then
        stage_passed=$((stage_passed + 1))
    else
        stage_failed=$((stage_failed + 1))
        say "   FAILED: $what"
    fi
}

# One test program: its counts from GoogleTest's brief output (the summary
# counts of passed and skipped tests, and a line per failed test). A program
# that ends badly besides (a sanitizer's report, a crash) is one failure more.
gtest() { # log name, program, arguments...
    local log=$results/$1.log
    shift
    "$@" --gtest_brief=1 >"$log" 2>&1
    local status=$?
    local passed failed skipped
    passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log" | tail -1)
    skipped=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}\.$/\1/p' "$log" | tail -1)
    failed=$(grep -c '^\[  FAILED  \] [A-Za-z_0-9]*\.[A-Za-z_0-9/]* (' "$log")
    sed -n 's/^\[  FAILED  \] \([A-Za-z_0-9]*\.[A-Za-z_0-9/]*\) (.*/|    FAILED: \1/p' "$log"
    if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
        failed=1
        say "   FAILED: the program ended with status $status (see $log)"
    fi
    stage_passed=$((stage_passed + ${passed:-0}))
    stage_failed=$((stage_failed + failed))
    stage_skipped=$((stage_skipped + ${skipped:-0}))
}

gui() { # log name, program, arguments...
    local log=$1
    shift
    ASAN_OPTIONS=detect_leaks=0 NO_AT_BRIDGE=1 \
        gtest "$log" xvfb-run -a -s "-screen 0 1024x768x24" "$@"
}

# The device link: the device tests with the device on a gadget and the
# tool's side on hidapi (what cannot apply there is skipped with its reason),
# and the device-using suites of the update, log and favourites tests.
if wanted device-link; then
    begin device-link
    gtest device "$tests/teelink_device_tests" \
        --gtest_filter='DeviceProtocol.*:DeviceWire.*:DeviceDiscovery.*:GadgetLink.*:GadgetReports.*'
    gtest identity "$tests/teelink_identity_tests" --gtest_filter='DocumentDeviceReads.*'
    gtest update "$tests/teelink_update_tests" --gtest_filter='Write.*'
    gtest log "$tests/teelink_trevlog_tests" --gtest_filter='LogRead.*'
    gtest favourites "$tests/teelink_favorites_tests" --gtest_filter='FavoritesRead.*'
    end
fi

# teelink-cli without --bus, against the emulator executable on a gadget and
# the reference update server.
if wanted cli; then
    begin cli
    gtest cli "$tests/teelink_cli_tests" --gtest_filter='CliOnGadget.*-*.TwoDevices*'
    end
fi

# The window under Xvfb: the main page finds the device through hidraw, a
# course update and a pull during the write.
if wanted window; then
    begin window
    gui main-page "$tests/teelink_main_page_tests" \
        --gtest_filter='MainPage.ADeviceIsIdentifiedOnceAndShownWithItsVersions:MainPage.UnpluggingKeepsTheLastLabelsAndReplugReadsAgain'
    gui update-page "$tests/teelink_update_page_tests" \
        --gtest_filter='GadgetUpdatePage.*:UpdatePage.ACourseDataUpdateRunsFromTheStartButtonToTheDevice:UpdatePage.ADeviceThatStopsAnsweringDuringTheWriteClosesTheTool'
    end
fi

# Two gadgets plugged in at once.
if wanted two-gadgets; then
    begin two-gadgets
    gtest two-cli "$tests/teelink_cli_tests" --gtest_filter='CliOnGadget.TwoDevices*'
    gui two-window "$tests/teelink_main_page_tests" \
        --gtest_filter='MainPage.TwoDevicesBringMessageTenOnEveryTickAndNothingElse'
    end
fi

# The udev rule against the host's hidraw node of a plugged-in gadget.
if wanted udev; then
    begin udev
    rules=/etc/udev/rules.d
    mkdir -p "$rules"
    cp "$source_dir/resources/udev/70-zorvik.rules" "$rules/"
    udev_test() { # product id; prints what udevadm test makes of the device's node
        local out=$results/emulator-$1.txt node
        "$build/emulator/teelink-device-emulator" --gadget /dev/hidg0 --product-id "$1" >"$out" 2>&1 &
        local emulator=$!
        while kill -0 "$emulator" 2>/dev/null && ! grep -q "listening on" "$out"; do
            sleep 0.1
        done
        node=$(sed -n "s/.*the host's \(\/dev\/hidraw[0-9]*\)).*/\1/p" "$out")
        udevadm test --action=add "/sys/class/hidraw/${node#/dev/}" 2>&1
        kill "$emulator"
        wait "$emulator"
    }
    udev_test 5750 >"$results/udev-ours.txt"
    udev_test 5751 >"$results/udev-other.txt"
    rm "$rules/70-zorvik.rules"
    udev_test 5750 >"$results/udev-without-rule.txt"
    # TAGS keeps what earlier events set; CURRENT_TAGS is this event's.
    tagged() { grep -q "^CURRENT_TAGS=.*:uaccess:" "$1"; }
    check "udev reads the rule without complaint" \
        bash -c "grep -q 'Reading rules file: $rules/70-zorvik.rules' '$results/udev-ours.txt' &&
                 ! grep 70-zorvik.rules '$results/udev-ours.txt' | grep -vq 'Reading rules file'"
    check "the rule tags our device's node uaccess" tagged "$results/udev-ours.txt"
    check "the rule leaves another product's node untagged" \
        bash -c "! grep -q '^CURRENT_TAGS=.*:uaccess:' '$results/udev-other.txt'"
    check "without the rule our device's node is not tagged" \
        bash -c "! grep -q '^CURRENT_TAGS=.*:uaccess:' '$results/udev-without-rule.txt'"
    end
fi

# teelink-cli as a user without root against the host's hidraw node of a
# plugged-in gadget. Without a rule the node is root's alone: the command line
# says that the device is there, that this user may not open it and what to
# do, with its own status. With a rule that grants the user's group (applied
# by udev's own daemon), the same user reads the device.
if wanted access; then
    begin access
    access_home=/tmp/access-home
    mkdir -p "$access_home" && chown 65534:4242 "$access_home"
    as_user() { # setpriv's group option, then teelink-cli's arguments
        local groups=$1
        shift
        setpriv --reuid=65534 --regid=65534 "$groups" \
            env HOME="$access_home" XDG_STATE_HOME="$access_home/state" \
            ASAN_OPTIONS=detect_leaks=0 "$build/cli/teelink-cli" "$@"
    }
    out=$results/emulator-access.txt
    "$build/emulator/teelink-device-emulator" --gadget /dev/hidg0 --model R7 >"$out" 2>&1 &
    emulator=$!
    while kill -0 "$emulator" 2>/dev/null && ! grep -q "listening on" "$out"; do
        sleep 0.1
    done
    node=$(sed -n "s/.*the host's \(\/dev\/hidraw[0-9]*\)).*/\1/p" "$out")
    # What the kernel makes the node without udev: root's alone.
    chown root:root "$node" && chmod 0600 "$node"
    denied=$results/access-denied
    as_user --clear-groups devices >"$denied.out" 2>"$denied.err"
    echo $? >"$denied.status"
    as_user --clear-groups info >/dev/null 2>>"$denied.err"
    echo $? >>"$denied.status"
    both_five() { [ "$(tr '\n' ' ' <"$denied.status")" = "5 5 " ]; }
    check "without the rule: devices and info end with status 5" both_five
    check "without the rule: the user is told the device is there and what to do" \
        grep -q "the device at $node is connected, but this user may not open it: install the rule file /usr/lib/udev/rules.d/70-zorvik.rules" "$denied.err"
    check "without the rule: devices lists the device as not usable" \
        grep -q "^$node	not usable: permission denied" "$denied.out"
    rules=/etc/udev/rules.d
    mkdir -p "$rules"
    echo 'SUBSYSTEM=="hidraw", ATTRS{idVendor}=="0483", ATTRS{idProduct}=="5750", GROUP="4242", MODE="0660"' \
        >"$rules/72-teelink-test-group.rules"
    # The guest runs its tests in a chroot of the host's root, where udev would
    # otherwise refuse to act.
    export SYSTEMD_IGNORE_CHROOT=1
    /lib/systemd/systemd-udevd --daemon >"$results/access-udevd.log" 2>&1
    udevadm trigger --action=add --settle "/sys/class/hidraw/${node#/dev/}" >>"$results/access-udevd.log" 2>&1
    stat -c '%u:%g %a' "$node" >>"$results/access-udevd.log"
    granted() { as_user --groups=4242 devices | grep -q "^$node	R7	"; }
    check "with a rule that grants the user's group: devices reads the device" granted
    udevadm control --exit >>"$results/access-udevd.log" 2>&1
    rm "$rules/72-teelink-test-group.rules"
    unset SYSTEMD_IGNORE_CHROOT
    kill "$emulator"
    wait "$emulator"
    end
fi

# The Windows build's command line under Wine, against the emulated device
# on a gadget: hidapi's Windows backend on Wine's HID stack, whose bus reads
# the host's hidraw node. The memory an update leaves is compared with what
# the Linux tool's same update leaves (the cli stage checks that one against
# the package).
if wanted windows; then
    begin windows
    windows_build=$source_dir/build/windows
    export WINEPREFIX=$HOME/.cache/teelink-windows/wine
    if [ ! -f "$windows_build/cli/teelink-cli.exe" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
        say "   no Windows build (./run windows makes one): skipped"
        stage_skipped=1
    else
        # The tool beside the stand-in for the configuration-manager function
        # Wine 8 lacks (testsupport/wine/cfgmgr32.c), which it then loads first.
        windows_dir=/tmp/teelink-windows
        mkdir -p "$windows_dir"
        cp "$windows_build/cli/teelink-cli.exe" "$windows_build/wine-shim/cfgmgr32.dll" "$windows_dir/"
        export PATH="/usr/lib/wine:$PATH" WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;cfgmgr32=n,b"
        wine_log=$results/windows-wine.log
        # Wine's HID bus starts its hidraw side only when its SDL side is off
        # (an SDL start that failed still counts as started), and with no
        # udevd running it must watch /dev itself.
        for option in "Enable SDL=0" "DisableUdevd=1"; do
            wine64 reg add 'HKLM\System\CurrentControlSet\Services\winebus' /v "${option%=*}" \
                /t REG_DWORD /d "${option#*=}" /f >>"$wine_log" 2>&1
        done
        wineserver -k 2>/dev/null
        wineserver -w
        # One Wine session for the whole stage: its device manager keeps
        # watching the devices between the tool's runs.
        wineserver -p
        windows_cli() { # step name, arguments: the output in $results/windows-STEP.txt
            local step=$1
            shift
            (cd "$windows_dir" && timeout 300 wine64 teelink-cli.exe "$@") \
                >"$results/windows-$step.txt" 2>&1
        }
        # Wine finds a device a moment after the kernel: the first look waits for it.
        windows_device_seen() {
            for _ in $(seq 30); do
                windows_cli devices devices && grep -q R8 "$results/windows-devices.txt" && return 0
                sleep 1
            done
            return 1
        }
        server_log=$results/windows-server.log
        "$build/refserver/teelink-update-server" --port 8750 --content "$build/refserver/content" \
            >"$server_log" 2>&1 &
        server=$!
        emulate() { # dump file, emulator options...: starts a device, sets $emulator
            local dump=$1 out=$results/windows-emulator.txt
            shift
            "$build/emulator/teelink-device-emulator" --gadget /dev/hidg0 --model R8 \
                --memory-dump "$dump" "$@" >"$out" 2>&1 &
            emulator=$!
            while kill -0 "$emulator" 2>/dev/null && ! grep -q "listening on" "$out"; do
                sleep 0.1
            done
        }
        emulate /tmp/windows-memory.bin
        if ! windows_device_seen; then
            (cd "$windows_dir" && WINEDEBUG=+loaddll,+setupapi,+cfgmgr32,+hid timeout 300 \
                wine64 teelink-cli.exe devices) >"$results/windows-trace.log" 2>&1
        fi
        check "devices lists the device through Wine's HID stack" \
            grep -Eq '^\\\\\?\\hid#vid_0483&pid_5750.*	R8	A01	1\.05	2017-03-15' "$results/windows-devices.txt"
        # --version ends by a C++ exception (the option parser's way out): the
        # exe's start-up and Wine's unwinding of it. Only now: the first Wine
        # program starts the session, and Wine's HID bus without udevd missed
        # the gadget plugged after that (seen when this ran first).
        windows_cli version --version
        check "the exe starts and unwinds an exception" \
            grep -q "^teelink-cli [0-9]" "$results/windows-version.txt"
        windows_cli info info
        check "info compares it with the server" grep -q "latest system version: 1.06" "$results/windows-info.txt"
        windows_cli update update course --area KOR
        check "update course writes 81 blocks" grep -q "Complete (81 blocks written)" "$results/windows-update.txt"
        windows_cli save-log save-log 'Z:\tmp\windows.trv'
        check "save-log saves the whole log" test "$(stat -c %s /tmp/windows.trv 2>/dev/null)" = 65542
        kill "$emulator"
        wait "$emulator"
        # The Linux tool's same update, for its memory.
        emulate /tmp/linux-memory.bin
        "$build/cli/teelink-cli" update course --area KOR >>"$results/windows.log" 2>&1
        kill "$emulator"
        wait "$emulator"
        check "the device holds what the Linux tool's update leaves" \
            cmp /tmp/windows-memory.bin /tmp/linux-memory.bin
        # Pulled out after the 20th block's answer: the look for the device and
        # the update each read identity and date first.
        emulate /tmp/unplugged.bin --unplug-after 24
        # Wine 8's HID bus misses a device that comes back under a hidraw
        # name it knew in the same session: a fresh session finds it.
        wineserver -k
        wineserver -w
        wineserver -p
        windows_device_seen
        windows_cli unplug update course --area KOR
        check "an unplug during the write fails the update" \
            grep -q "Failed to write (\(19\|20\) blocks written)" "$results/windows-unplug.txt"
        kill "$emulator" 2>/dev/null
        wait "$emulator"
        kill "$server"
        wait "$server"
        wineserver -k
    fi
    end
fi

touch "$results/done"
