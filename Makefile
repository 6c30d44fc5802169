# make test: installs the Debian packages that are missing, then configures,
# builds and tests every configuration in turn:
#   native  Linux, g++, with the tests; the desktop program's window tests
#           on a virtual X screen (Xvfb), their screenshots in
#           build/native/screenshots
#   asan    the same tests with AddressSanitizer and UndefinedBehaviorSanitizer
#   windows the Windows programs and their tests under Wine/Xvfb, the way
#           this machine allows (scripts/windows-way.sh, VM_WIN_TESTS chooses):
#           win32  the 32-bit programs (MinGW-w64 i686) under 32-bit Wine;
#           win64  where 32-bit programs cannot run: the 32-bit programs
#                  built and their headers checked (win32-headers), the same
#                  sources and tests as 64-bit programs (MinGW-w64 x86_64)
#                  under wine64
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

.PHONY: demo station-demo dist deb test packages test-native test-asan test-windows test-win32 test-win64 \
        test-fuzz test-kernel clean

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

test: test-native test-asan test-windows test-fuzz test-kernel
	@echo "== all configurations done ($$(date +%T)) =="
	@cat $(LOGS)/windows-way.txt
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

# The Windows tests the way this machine allows; one line says which.
test-windows: packages
	@rm -f $(LOGS)/win32.log $(LOGS)/win32-headers.log $(LOGS)/win64.log
	@scripts/windows-way.sh --say | tee $(LOGS)/windows-way.txt
	@$(MAKE) --no-print-directory test-$$(scripts/windows-way.sh)

test-win32: packages
	@echo "== win32: configure, build, test (started $$(date +%T)) =="
	cmake --preset win32
	cmake --build --preset win32
	scripts/wine-init.sh
	$(XVFB) scripts/wine-session.sh ctest --preset win32 | tee $(LOGS)/win32.log

# Where 32-bit programs cannot run: the shipped 32-bit programs are built and
# their headers checked without Wine, then the 64-bit build runs every
# Windows test under wine64.
test-win64: packages
	@echo "== win64: the 32-bit programs' headers, then the 64-bit build's tests (started $$(date +%T)) =="
	cmake --preset win32
	cmake --build --preset win32 --target QX_App_Launcher QX_App_EN QX_App_SC
	ctest --preset win32-headers | tee $(LOGS)/win32-headers.log
	cmake --preset win64
	cmake --build --preset win64
	VM_WINE_ARCH=win64 scripts/wine-init.sh
	VM_WINE_ARCH=win64 $(XVFB) scripts/wine-session.sh ctest --preset win64 | tee $(LOGS)/win64.log

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
