# Buildroot's platform module: Linux under its own name.
include(Platform/Linux)
