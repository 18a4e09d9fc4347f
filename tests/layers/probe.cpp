// Includes the one header its target names: built by the layer tests to show
// which folders a library can see.
#include VIZIRO_LAYER_HEADER
