// GDAL loaded at run time, on the first Erdas Imagine file: the library and
// its ~100 dependencies would otherwise be mapped and relocated at the start
// of every process, which costs each comparison tens of milliseconds.
#ifndef RASTER_GDAL_RUNTIME_HPP
#define RASTER_GDAL_RUNTIME_HPP

#include <cpl_conv.h>    // CPLGetThreadLocalConfigOption, CPLSetThreadLocalConfigOption
#include <cpl_error.h>   // error handler functions
#include <gdal.h>        // dataset and band functions
#include <gdal_frmts.h>  // GDALRegister_HFA
#include <ogr_srs_api.h>  // the coordinate system of a dataset

struct GdalRuntime {
  decltype(&::GDALRegister_HFA) GDALRegister_HFA;
  decltype(&::GDALOpenEx) GDALOpenEx;
  decltype(&::GDALClose) GDALClose;
  decltype(&::GDALGetRasterXSize) GDALGetRasterXSize;
  decltype(&::GDALGetRasterYSize) GDALGetRasterYSize;
  decltype(&::GDALGetRasterCount) GDALGetRasterCount;
  decltype(&::GDALGetGeoTransform) GDALGetGeoTransform;
  decltype(&::GDALGetRasterBand) GDALGetRasterBand;
  decltype(&::GDALGetBlockSize) GDALGetBlockSize;
  decltype(&::GDALGetRasterDataType) GDALGetRasterDataType;
  decltype(&::GDALGetMetadataItem) GDALGetMetadataItem;
  decltype(&::GDALGetRasterNoDataValue) GDALGetRasterNoDataValue;
  decltype(&::GDALReadBlock) GDALReadBlock;
  decltype(&::CPLPushErrorHandler) CPLPushErrorHandler;
  decltype(&::CPLPushErrorHandlerEx) CPLPushErrorHandlerEx;
  decltype(&::CPLPopErrorHandler) CPLPopErrorHandler;
  decltype(&::CPLQuietErrorHandler) CPLQuietErrorHandler;
  decltype(&::CPLGetErrorHandlerUserData) CPLGetErrorHandlerUserData;
  decltype(&::CPLGetThreadLocalConfigOption) CPLGetThreadLocalConfigOption;
  decltype(&::CPLSetThreadLocalConfigOption) CPLSetThreadLocalConfigOption;
  decltype(&::GDALGetSpatialRef) GDALGetSpatialRef;
  decltype(&::OSRIsGeographic) OSRIsGeographic;
  decltype(&::OSRGetUTMZone) OSRGetUTMZone;
  decltype(&::OSRGetAttrValue) OSRGetAttrValue;
  decltype(&::OSRGetAuthorityName) OSRGetAuthorityName;
  decltype(&::OSRGetAuthorityCode) OSRGetAuthorityCode;
  decltype(&::OSRGetLinearUnits) OSRGetLinearUnits;
};

// The loaded library's functions, or null (with the loader's reason in
// `why`, when given) when GDAL cannot be loaded. Loads once per process.
const GdalRuntime* gdal_runtime(const char** why = nullptr);

#endif
