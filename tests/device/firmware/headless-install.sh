#!/bin/sh
# kelvo-viewer --install-firmware against the emulated camera: the user is
# told how to reach the update mode, the camera takes the image byte for
# byte and comes back with its new version; a camera that refuses a block,
# and an image that does not match its checksum, end with a non-zero status
# and no claim of success.
# usage: headless-install.sh QUADREL_UMOCKDEV_RUN KELVO_VIEWER
set -u
run=$1
viewer=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
fail() {
    echo "FAIL: $*"
    echo "--- stdout"; cat "$dir/out"
    echo "--- stderr (last lines)"; tail -n 15 "$dir/err"
    failed=1
}

head -c 3000 /dev/urandom > "$dir/image.bin"
sum=$(sha512sum "$dir/image.bin" | cut -d' ' -f1)

# The camera starts in camera mode; the user puts it into its update mode
# once the program waits for it (3 s later: a start slowed by the sanitizers
# or a busy machine must still find the camera in its camera mode). Back
# with its new firmware, its report node comes a second after the camera,
# as the kernel's HID driver may take that long to bind.
timeout 40 "$run" --firmware 2.0.0 --update-mode-after 3000 --firmware-after-update 3.1.0 --report-node-delay 1000 \
    --received "$dir/received" -- \
    "$viewer" --install-firmware "$dir/image.bin" --sha512 "$sum" > "$dir/out" 2> "$dir/err"
status=$?
[ "$status" -eq 0 ] || fail "a good update exits $status"
grep -q "Press and hold the camera's reset button" "$dir/out" || fail "no instructions for the update mode"
grep -q "Sending firmware: 68%" "$dir/out" || fail "no progress line"
grep -q "The camera is back with firmware version 3.1.0." "$dir/out" || fail "no new version"
cmp -s "$dir/image.bin" "$dir/received" || fail "the camera did not get the image byte for byte"

# Status read 3 follows the second block: the camera refuses to go on.
rm -f "$dir/received"
timeout 40 "$run" --update-mode-after 3000 --wrong-status-at-read 3 --received "$dir/received" -- \
    "$viewer" --install-firmware "$dir/image.bin" --sha512 "$sum" > "$dir/out" 2> "$dir/err"
status=$?
[ "$status" -eq 1 ] || fail "a refused block exits $status"
grep -q "Firmware update failed: The camera did not take the firmware" "$dir/out" || fail "no failure reason"
grep -q "Got unexpected response from device when sending location 1024" "$dir/err" || fail "no log reason"
grep -q "is back" "$dir/out" && fail "success claimed after a refused block"

# A checksum of another image: nothing reaches the camera.
rm -f "$dir/received"
other=$(printf 'other' | sha512sum | cut -d' ' -f1)
timeout 40 "$run" --update-mode-after 0 --received "$dir/received" -- \
    "$viewer" --install-firmware "$dir/image.bin" --sha512 "$other" > "$dir/out" 2> "$dir/err"
status=$?
[ "$status" -eq 2 ] || fail "a wrong checksum exits $status"
grep -q "does not match the SHA-512" "$dir/out" || fail "no checksum reason"
[ -s "$dir/received" ] && fail "the camera got data despite a wrong checksum"

exit $failed
