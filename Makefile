# make test: installs the Debian packages that are missing, then configures,
# builds and tests every configuration in turn:
#   native  Linux, g++, with the tests; the desktop program's window tests
#           on a virtual X screen (Xvfb), their screenshots in
#           build/native/screenshots
#   asan    the same tests with AddressSanitizer and UndefinedBehaviorSanitizer
#   win32   the 32-bit Windows programs (MinGW-w64 i686), tests under Wine/Xvfb
#   fuzz    the libFuzzer targets of tests/fuzz, FUZZ_SECONDS each
#   kernel  the Linux backend against Debian's kernel in QEMU, on virtual
#           USB programmers (scripts/kernel-test.sh)
# Each configuration has its own target (make test-win32, ...) and its own
# build folder below build/. The closing line adds up all the counts.

SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c
.NOTPARALLEL:

LOGS := build/logs
FUZZ_SECONDS ?= 10
FUZZ_SOURCES := $(wildcard tests/fuzz/*_fuzz.cpp)
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp"

.PHONY: demo station-demo dist deb test packages test-native test-asan test-win32 test-fuzz test-kernel clean

# The main job: a OneKey Download on the emulator, then a read back.
demo:
	@scripts/ensure-packages.sh native
	cmake --preset native
	cmake --build --preset native --target vm612k demo_image
	scripts/demo.sh build/native

# A production station: four emulated programmers, twelve units, the audit log.
station-demo:
	@scripts/ensure-packages.sh native
	cmake --preset native
	cmake --build --preset native --target vm612k demo_image
	scripts/station-demo.sh build/native

# The Windows programs, the sample preferences file and the readme as
# build/win32/dist/VM612K_Flash_Programmer.zip.
dist: packages
	cmake --preset win32
	cmake --build --preset win32 --target dist

# vm612k, vm612k-gui (with its menu entry and icons), the manual page, the
# udev rule and the README as a Debian package in build/native/package.
deb:
	@scripts/ensure-packages.sh native
	cmake --preset native
	cmake --build --preset native
	cpack --config build/native/CPackConfig.cmake

test: test-native test-asan test-win32 test-fuzz test-kernel
	@echo "== all configurations done ($$(date +%T)) =="
	@scripts/ctest-total.sh $(LOGS)

packages:
	@scripts/ensure-packages.sh
	@mkdir -p $(LOGS)

test-native: packages
	@echo "== native: configure, build, test (started $$(date +%T)) =="
	cmake --preset native
	cmake --build --preset native
	$(XVFB) ctest --preset native | tee $(LOGS)/native.log

test-asan: packages
	@echo "== asan: configure, build, test (started $$(date +%T)) =="
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan | tee $(LOGS)/asan.log

test-win32: packages
	@echo "== win32: configure, build, test (started $$(date +%T)) =="
	cmake --preset win32
	cmake --build --preset win32
	scripts/wine-init.sh
	$(XVFB) scripts/wine-session.sh ctest --preset win32 | tee $(LOGS)/win32.log

test-fuzz: packages
ifeq ($(FUZZ_SOURCES),)
	@rm -f $(LOGS)/fuzz.log
	@echo "fuzz: no fuzz targets in tests/fuzz yet, skipped"
else
	@echo "== fuzz: configure, build, run (started $$(date +%T)) =="
	cmake --preset fuzz -DVM_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build --preset fuzz
	ctest --preset fuzz | tee $(LOGS)/fuzz.log
endif

# The boot image and the boots' files go to build/kernel-test.
test-kernel:
	@scripts/ensure-packages.sh kernel
	@mkdir -p $(LOGS)
	@echo "== kernel: build, boot the guest, test (started $$(date +%T)) =="
	cmake --preset kernel
	cmake --build --preset kernel
	scripts/kernel-test.sh build/kernel build/kernel-test | tee $(LOGS)/kernel.log

clean:
	rm -rf build
