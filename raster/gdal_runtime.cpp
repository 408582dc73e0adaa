// Loads GDAL with dlopen and resolves the functions the IMG reader calls.
#include "raster/gdal_runtime.hpp"

#include <dlfcn.h>  // dlopen, dlsym, dlerror

#include <string>  // the loader's reason

#ifndef RASTCMP_GDAL_SONAME
#define RASTCMP_GDAL_SONAME "libgdal.so"
#endif

namespace {

template <typename F>
bool resolve(void* lib, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(lib, name));
  return out != nullptr;
}

struct Loader {
  GdalRuntime api{};
  bool ok = false;
  std::string why;

  Loader() {
    void* lib = nullptr;
    for (const char* name : {RASTCMP_GDAL_SONAME, "libgdal.so"}) {
      lib = dlopen(name, RTLD_NOW | RTLD_LOCAL);
      if (lib != nullptr) break;
      const char* e = dlerror();
      why = e ? e : "dlopen failed";
    }
    if (lib == nullptr) return;
#define RASTCMP_RESOLVE(f)                           \
  if (!resolve(lib, #f, api.f)) {                    \
    why = std::string("GDAL lacks the function ") + #f; \
    return;                                          \
  }
    RASTCMP_RESOLVE(GDALRegister_HFA)
    RASTCMP_RESOLVE(GDALOpenEx)
    RASTCMP_RESOLVE(GDALClose)
    RASTCMP_RESOLVE(GDALGetRasterXSize)
    RASTCMP_RESOLVE(GDALGetRasterYSize)
    RASTCMP_RESOLVE(GDALGetRasterCount)
    RASTCMP_RESOLVE(GDALGetGeoTransform)
    RASTCMP_RESOLVE(GDALGetRasterBand)
    RASTCMP_RESOLVE(GDALGetBlockSize)
    RASTCMP_RESOLVE(GDALGetRasterDataType)
    RASTCMP_RESOLVE(GDALGetMetadataItem)
    RASTCMP_RESOLVE(GDALGetRasterNoDataValue)
    RASTCMP_RESOLVE(GDALReadBlock)
    RASTCMP_RESOLVE(CPLPushErrorHandler)
    RASTCMP_RESOLVE(CPLPushErrorHandlerEx)
    RASTCMP_RESOLVE(CPLPopErrorHandler)
    RASTCMP_RESOLVE(CPLQuietErrorHandler)
    RASTCMP_RESOLVE(CPLGetErrorHandlerUserData)
    RASTCMP_RESOLVE(CPLGetThreadLocalConfigOption)
    RASTCMP_RESOLVE(CPLSetThreadLocalConfigOption)
    RASTCMP_RESOLVE(GDALGetSpatialRef)
    RASTCMP_RESOLVE(OSRIsGeographic)
    RASTCMP_RESOLVE(OSRGetUTMZone)
    RASTCMP_RESOLVE(OSRGetAttrValue)
    RASTCMP_RESOLVE(OSRGetAuthorityName)
    RASTCMP_RESOLVE(OSRGetAuthorityCode)
    RASTCMP_RESOLVE(OSRGetLinearUnits)
#undef RASTCMP_RESOLVE
    ok = true;
  }
};

}  // namespace

const GdalRuntime* gdal_runtime(const char** why) {
  static const Loader loader;
  if (!loader.ok) {
    if (why) *why = loader.why.c_str();
    return nullptr;
  }
  return &loader.api;
}
