"""The SDK's version, as CMakeLists.txt declares it (a test keeps them equal)."""

__version__ = "1.0.0"
