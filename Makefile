# The two commands: `make demo` and `make test`. Each installs what is
# missing, configures, builds and runs.
PRESET ?= default
JOBS   ?= $(shell echo $$(( $$(nproc) * 4 )))
BUILD  := build/$(PRESET)

.PHONY: all deps bench-deps build test demo bench asan tsan soak soak-tsan clean install package
.PHONY: windows windows-deps windows-kit test-windows test-windows-gui serve-deps test-serve arm64 test-arm64

all: build

deps:
	@sh scripts/install-deps.sh

bench-deps:
	@sh scripts/install-deps.sh bench

build: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# Through the test preset, so a sanitizer build runs with its suppressions.
test: build
	ctest --preset $(PRESET) --output-on-failure -j $(JOBS) --timeout 300

serve-deps:
	@sh scripts/install-deps.sh serve

# pelnik-serve and its tests (RTSP, HTTP, browser), loopback only.
test-serve: serve-deps
	@test -f build/default/build.ninja || cmake --preset default
	cmake --preset default -DPELNIK_BUILD_SERVE=ON >/dev/null
	cmake --build build/default --target pelnik-serve gstpelnik pelnik-virtcam
	ctest --test-dir build/default -L serve --output-on-failure --timeout 300

# arm64 cross build (Debian's cross toolchain, multiarch -dev packages); the
# portable tests run under qemu-aarch64.
arm64:
	@sh scripts/install-deps.sh arm64
	@test -f build/arm64/build.ninja || cmake --preset arm64
	cmake --build --preset arm64

test-arm64: arm64
	ctest --test-dir build/arm64 -L "portable|posix" --output-on-failure -j2

# The demo builds what it runs: the library and the capture tool (which
# embeds the virtual camera); the tests are built by `make test`.
demo: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) --target pelnik-capture
	@sh scripts/demo.sh $(BUILD)

bench: bench-deps
	@test -f build/default/build.ninja || cmake --preset default
	cmake --build --preset default
	@sh scripts/bench.sh build/default

asan:
	$(MAKE) test PRESET=asan-ubsan

tsan:
	$(MAKE) test PRESET=tsan

install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# Debian packages for /usr, from a tree of their own (build/package);
# `make package ARCH=arm64` cross-builds the arm64 ones (build/package-arm64,
# without the GStreamer element, whose arm64 -dev packages cannot sit beside
# the native ones).
ifeq ($(ARCH),arm64)
PACKAGE_DIR  := build/package-arm64
PACKAGE_DEPS := arm64
PACKAGE_ARGS := -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchains/aarch64-linux-gnu.cmake \
  -DPELNIK_BUILD_GSTREAMER=OFF -DPELNIK_BUILD_SERVE=OFF -DPELNIK_WERROR=ON
PACKAGE_ENV  := DEB_HOST_ARCH=arm64
else ifeq ($(ARCH),)
PACKAGE_DIR  := build/package
else
$(error ARCH=$(ARCH): packages are built for the native architecture or ARCH=arm64)
endif

package:
	@sh scripts/install-deps.sh $(PACKAGE_DEPS)
	@test -f $(PACKAGE_DIR)/build.ninja || cmake -S . -B $(PACKAGE_DIR) -G Ninja \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
	  -DPELNIK_BUILD_TESTS=OFF -DPELNIK_BUILD_BENCH=OFF $(PACKAGE_ARGS)
	cmake --build $(PACKAGE_DIR)
	cd $(PACKAGE_DIR) && $(PACKAGE_ENV) cpack -G DEB

# The soak run (bench/soak.cpp): SOAK_SECONDS of four cameras and eight
# application threads; soak-tsan is the two-minute run under TSan.
SOAK_SECONDS ?= 600
soak: deps
	@test -f build/default/build.ninja || cmake --preset default
	cmake --build build/default --target soak
	nice build/default/bench/soak --seconds $(SOAK_SECONDS)

# Built in the TSan test tree (the library's objects are already there):
# only the soak program is added.
soak-tsan: deps
	@test -f build/tsan/build.ninja || cmake --preset tsan
	cmake build/tsan -DPELNIK_BUILD_BENCH=ON >/dev/null
	cmake --build build/tsan --target soak
	TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp" \
	  nice build/tsan/bench/soak --seconds 120

clean:
	rm -rf build

# The Windows DLL and tools, 64- and 32-bit, cross-built with MinGW-w64.
WINDOWS_LANES ?= 2
windows-deps:
	@sh scripts/install-deps.sh windows
	@sh scripts/windows/build-deps.sh x86_64
	@sh scripts/windows/build-deps.sh i686
	@for p in windows-x64 windows-x86; do \
	  test -f build/$$p/build.ninja || cmake --preset $$p >/dev/null || exit 1; done

windows: windows-deps
	cmake --build --preset windows-x64
	cmake --build --preset windows-x86

# The SDK kits a Windows user downloads: build/windows-kit/*.zip, one per
# architecture.
windows-kit: windows
	@for a in x64 x86; do sh scripts/windows/make-kit.sh build/windows-$$a $$a . build/windows-kit || exit 1; done

# 64-bit tests under Wine, one prefix per lane; the 32-bit DLL checked
# statically. Everything that builds is tested; a program that does not build
# fails as "not run", and any failure fails the target.
test-windows: windows-deps
	@b=0; cmake --build --preset windows-x64 -- -k 0 || b=1; \
	  cmake --build --preset windows-x86 -- -k 0 || b=1; \
	  sh scripts/windows/wine-prefix.sh build/windows-x64 $(WINDOWS_LANES) || exit 1; t=0; \
	  sh scripts/windows/check-dll.sh build/windows-x86 i686 . || t=1; \
	  sh scripts/windows/test-export-tooling.sh . || t=1; \
	  ctest --preset windows-x64 -j $(WINDOWS_LANES) || t=1; \
	  for a in x64 x86; do sh scripts/windows/make-kit.sh build/windows-$$a $$a . build/windows-kit >/dev/null || t=1; done; \
	  sh scripts/windows/test-kit.sh build/windows-kit || t=1; \
	  $(MAKE) --no-print-directory test-windows-gui || t=1; \
	  sh scripts/windows/wine-prefix.sh build/windows-x64 stop; \
	  test $$b = 0 || echo "test-windows: the build failed"; test $$b$$t = 00

# The Windows build's windows under Wine on Xvfb, driven from the Linux
# tree's host program (the lanes are those test-windows prepared).
test-windows-gui:
	@test -f build/default/build.ninja || cmake --preset default >/dev/null
	cmake --preset default -DPELNIK_WINDOWS_TREE=$(CURDIR)/build/windows-x64 >/dev/null
	cmake --build build/default --target test_wine_gui
	ctest --test-dir build/default -L wine --output-on-failure -j $(WINDOWS_LANES) --timeout 300
