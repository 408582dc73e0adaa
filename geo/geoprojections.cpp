// The formulas of each projection kind: the constants derived from the
// ellipsoid when a projection is set, and the forward (longitude/latitude
// to plane) and inverse conversions. Latitudes pass through the conformal
// latitude, written as tan(latitude) "tau" and its conformal counterpart
// "taup", which keeps the conversions exact to the last bits near the poles.
#include <cmath>  // trigonometric and hyperbolic functions

#include "geo/geoprojectionconverter.hpp"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRad = kPi / 180.0;

double normalized(double angle) {  // radians into [-pi, pi]
  return std::remainder(angle, 2.0 * kPi);
}

// tan of the conformal latitude from tan of the geodetic latitude
double taupf(double tau, double e) {
  const double tau1 = std::hypot(1.0, tau);
  const double sig = std::sinh(e * std::atanh(e * tau / tau1));
  return std::hypot(1.0, sig) * tau - sig * tau1;
}

// the inverse of taupf by Newton's method
double tauf(double taup, double e) {
  const double e2m = 1.0 - e * e;
  double tau = taup / e2m;
  for (int i = 0; i < 20; i++) {
    const double taupa = taupf(tau, e);
    const double dtau = (taup - taupa) * (1.0 + e2m * tau * tau) / (e2m * std::hypot(1.0, tau) * std::hypot(1.0, taupa));
    tau += dtau;
    if (!(std::fabs(dtau) >= 1e-15 * std::fmax(1.0, std::fabs(tau)))) break;
  }
  return tau;
}

// isometric latitude and back
double psi_of(double phi, double e) { return std::asinh(taupf(std::tan(phi), e)); }
double phi_of_psi(double psi, double e) { return std::atan(tauf(std::sinh(psi), e)); }

double m_of(double phi, double e2) { return std::cos(phi) / std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi)); }
double t_of(double phi, double e) { return std::exp(-psi_of(phi, e)); }

// authalic function q of the equal-area projections
double q_of(double phi, double e) {
  const double s = std::sin(phi);
  const double e2 = e * e;
  if (e == 0.0) return 2.0 * s;
  return (1.0 - e2) * (s / (1.0 - e2 * s * s) - std::log((1.0 - e * s) / (1.0 + e * s)) / (2.0 * e));
}

// Transverse Mercator: c[0] k0·A, c[1..6] forward series, c[7..12] inverse
// series, c[13] the series latitude of the origin.
void prepare_tm(GeoProjectionParameters& p, const GeoProjectionEllipsoid& el) {
  const double f = el.inverse_flattening > 0.0 ? 1.0 / el.inverse_flattening : 0.0;
  const double n = f / (2.0 - f);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
  const double a_rect = el.equatorial_radius / (1.0 + n) * (1.0 + n2 / 4.0 + n4 / 64.0 + n6 / 256.0);
  double* c = p.c;
  c[0] = p.scale_factor * a_rect;
  c[1] = n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180 - 127 * n5 / 288 + 7891 * n6 / 37800;
  c[2] = 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440 + 281 * n5 / 630 - 1983433 * n6 / 1935360;
  c[3] = 61 * n3 / 240 - 103 * n4 / 140 + 15061 * n5 / 26880 + 167603 * n6 / 181440;
  c[4] = 49561 * n4 / 161280 - 179 * n5 / 168 + 6601661 * n6 / 7257600;
  c[5] = 34729 * n5 / 80640 - 3418889 * n6 / 1995840;
  c[6] = 212378941 * n6 / 319334400;
  c[7] = n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360 - 81 * n5 / 512 + 96199 * n6 / 604800;
  c[8] = n2 / 48 + n3 / 15 - 437 * n4 / 1440 + 46 * n5 / 105 - 1118711 * n6 / 3870720;
  c[9] = 17 * n3 / 480 - 37 * n4 / 840 - 209 * n5 / 4480 + 5569 * n6 / 90720;
  c[10] = 4397 * n4 / 161280 - 11 * n5 / 504 - 830251 * n6 / 7257600;
  c[11] = 4583 * n5 / 161280 - 108847 * n6 / 3991680;
  c[12] = 20648693 * n6 / 638668800;
  const double xip = std::atan(taupf(std::tan(p.origin_latitude * kRad), el.eccentricity));
  double xi = xip;
  for (int j = 1; j <= 6; j++) xi += c[j] * std::sin(2 * j * xip);
  c[13] = xi;
}

void tm_forward(const GeoProjectionParameters& p, double e, double lam, double phi, double& x, double& y) {
  const double* c = p.c;
  const double taup = taupf(std::tan(phi), e);
  const double xip = std::atan2(taup, std::cos(lam));
  const double etap = std::asinh(std::sin(lam) / std::hypot(taup, std::cos(lam)));
  double xi = xip, eta = etap;
  for (int j = 1; j <= 6; j++) {
    xi += c[j] * std::sin(2 * j * xip) * std::cosh(2 * j * etap);
    eta += c[j] * std::cos(2 * j * xip) * std::sinh(2 * j * etap);
  }
  x = p.false_easting + c[0] * eta;
  y = p.false_northing + c[0] * (xi - c[13]);
}

void tm_inverse(const GeoProjectionParameters& p, double e, double x, double y, double& lam, double& phi) {
  const double* c = p.c;
  const double xi = (y - p.false_northing) / c[0] + c[13];
  const double eta = (x - p.false_easting) / c[0];
  double xip = xi, etap = eta;
  for (int j = 1; j <= 6; j++) {
    xip -= c[6 + j] * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
    etap -= c[6 + j] * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
  }
  const double s = std::sinh(etap);
  const double co = std::fmax(0.0, std::cos(xip));
  const double r = std::hypot(s, co);
  lam = std::atan2(s, co);
  phi = r > 0.0 ? std::atan(tauf(std::sin(xip) / r, e)) : std::copysign(kPi / 2, xip);
}

// Lambert conformal conic with two standard parallels: c[0] n, c[1] a·F,
// c[2] the radius of the origin parallel.
void prepare_lcc(GeoProjectionParameters& p, const GeoProjectionEllipsoid& el) {
  const double e = el.eccentricity, e2 = el.eccentricity_squared;
  const double phi1 = p.standard_parallel_1 * kRad, phi2 = p.standard_parallel_2 * kRad;
  const double m1 = m_of(phi1, e2), m2 = m_of(phi2, e2), t1 = t_of(phi1, e), t2 = t_of(phi2, e);
  const double n = std::fabs(phi1 - phi2) > 1e-12 ? (std::log(m1) - std::log(m2)) / (std::log(t1) - std::log(t2))
                                                  : std::sin(phi1);
  p.c[0] = n;
  p.c[1] = el.equatorial_radius * m1 / (n * std::pow(t1, n));
  p.c[2] = p.c[1] * std::pow(t_of(p.origin_latitude * kRad, e), n);
}

// Albers equal-area conic: c[0] n, c[1] C, c[2] the radius of the origin.
void prepare_aeac(GeoProjectionParameters& p, const GeoProjectionEllipsoid& el) {
  const double e = el.eccentricity, e2 = el.eccentricity_squared;
  const double phi1 = p.standard_parallel_1 * kRad, phi2 = p.standard_parallel_2 * kRad;
  const double m1 = m_of(phi1, e2), m2 = m_of(phi2, e2), q1 = q_of(phi1, e), q2 = q_of(phi2, e);
  const double n = std::fabs(phi1 - phi2) > 1e-12 ? (m1 * m1 - m2 * m2) / (q2 - q1) : std::sin(phi1);
  p.c[0] = n;
  p.c[1] = m1 * m1 + n * q1;
  p.c[2] = el.equatorial_radius * std::sqrt(std::fmax(0.0, p.c[1] - n * q_of(p.origin_latitude * kRad, e))) / n;
}

// Hotine oblique Mercator, false origin at the natural origin: c[0] B,
// c[1] A, c[2] H, c[3] gamma0, c[4] lambda0, c[5] the rectified grid angle.
void prepare_hom(GeoProjectionParameters& p, const GeoProjectionEllipsoid& el) {
  const double e = el.eccentricity, e2 = el.eccentricity_squared;
  const double phic = p.origin_latitude * kRad, alphac = p.azimuth * kRad;
  const double s = std::sin(phic), co = std::cos(phic);
  const double b = std::sqrt(1.0 + e2 * co * co * co * co / (1.0 - e2));
  const double a = el.equatorial_radius * b * p.scale_factor * std::sqrt(1.0 - e2) / (1.0 - e2 * s * s);
  const double t0 = t_of(phic, e);
  const double d = std::fmax(1.0, b * std::sqrt(1.0 - e2) / (co * std::sqrt(1.0 - e2 * s * s)));
  const double f = d + std::copysign(std::sqrt(d * d - 1.0), phic);
  const double h = f * std::pow(t0, b);
  const double g = (f - 1.0 / f) / 2.0;
  const double gamma0 = std::asin(std::sin(alphac) / d);
  p.c[0] = b;
  p.c[1] = a;
  p.c[2] = h;
  p.c[3] = gamma0;
  p.c[4] = p.central_meridian * kRad - std::asin(g * std::tan(gamma0)) / b;
  p.c[5] = p.rectified_grid_angle * kRad;
}

// Oblique stereographic on the conformal sphere: c[0] 2·R·k0, c[1] n,
// c[2] c, c[3] the conformal latitude of the origin.
void prepare_os(GeoProjectionParameters& p, const GeoProjectionEllipsoid& el) {
  const double e = el.eccentricity, e2 = el.eccentricity_squared;
  const double phi0 = p.origin_latitude * kRad;
  const double s = std::sin(phi0), co = std::cos(phi0);
  const double rho0 = el.equatorial_radius * (1.0 - e2) / std::pow(1.0 - e2 * s * s, 1.5);
  const double nu0 = el.equatorial_radius / std::sqrt(1.0 - e2 * s * s);
  const double n = std::sqrt(1.0 + e2 * co * co * co * co / (1.0 - e2));
  const double w1 = std::exp(2.0 * n * psi_of(phi0, e));
  const double sin_chi = (w1 - 1.0) / (w1 + 1.0);
  const double c = (n + s) * (1.0 - sin_chi) / ((n - s) * (1.0 + sin_chi));
  const double w2 = c * w1;
  p.c[0] = 2.0 * std::sqrt(rho0 * nu0) * p.scale_factor;
  p.c[1] = n;
  p.c[2] = c;
  p.c[3] = std::asin((w2 - 1.0) / (w2 + 1.0));
}

}  // namespace

void GeoProjectionConverter::prepare(GeoProjectionParameters& p) const {
  switch (p.type) {
    case GEO_PROJECTION_UTM:
    case GEO_PROJECTION_TM: prepare_tm(p, *ellipsoid); break;
    case GEO_PROJECTION_LCC: prepare_lcc(p, *ellipsoid); break;
    case GEO_PROJECTION_AEAC: prepare_aeac(p, *ellipsoid); break;
    case GEO_PROJECTION_HOM: prepare_hom(p, *ellipsoid); break;
    case GEO_PROJECTION_OS: prepare_os(p, *ellipsoid); break;
    default: break;
  }
}

bool GeoProjectionConverter::to_projection(double longitude, double latitude, double& x, double& y,
                                           bool source) const {
  const GeoProjectionParameters* p = get_projection(source);
  if (p == nullptr) return false;
  const double e = ellipsoid->eccentricity, a = ellipsoid->equatorial_radius;
  const double phi = latitude * kRad;
  const double lam = normalized((longitude - p->central_meridian) * kRad);
  const double* c = p->c;
  switch (p->type) {
    case GEO_PROJECTION_LONG_LAT:
      x = longitude;
      y = latitude;
      return true;
    case GEO_PROJECTION_UTM:
    case GEO_PROJECTION_TM:
      tm_forward(*p, e, lam, phi, x, y);
      return true;
    case GEO_PROJECTION_LCC: {
      const double r = c[1] * std::pow(t_of(phi, e), c[0]);
      const double theta = c[0] * lam;
      x = p->false_easting + r * std::sin(theta);
      y = p->false_northing + c[2] - r * std::cos(theta);
      return true;
    }
    case GEO_PROJECTION_AEAC: {
      const double rho = a * std::sqrt(std::fmax(0.0, c[1] - c[0] * q_of(phi, e))) / c[0];
      const double theta = c[0] * lam;
      x = p->false_easting + rho * std::sin(theta);
      y = p->false_northing + c[2] - rho * std::cos(theta);
      return true;
    }
    case GEO_PROJECTION_HOM: {
      const double dl = normalized(longitude * kRad - c[4]);
      const double q = c[2] / std::pow(t_of(phi, e), c[0]);
      const double s = (q - 1.0 / q) / 2.0, t = (q + 1.0 / q) / 2.0;
      const double v = std::sin(c[0] * dl);
      const double u_ = (-v * std::cos(c[3]) + s * std::sin(c[3])) / t;
      const double vv = c[1] * std::log((1.0 - u_) / (1.0 + u_)) / (2.0 * c[0]);
      const double uu = c[1] * std::atan2(s * std::cos(c[3]) + v * std::sin(c[3]), std::cos(c[0] * dl)) / c[0];
      x = vv * std::cos(c[5]) + uu * std::sin(c[5]) + p->false_easting;
      y = uu * std::cos(c[5]) - vv * std::sin(c[5]) + p->false_northing;
      return true;
    }
    case GEO_PROJECTION_OS: {
      const double w = c[2] * std::exp(2.0 * c[1] * psi_of(phi, e));
      const double chi = std::asin((w - 1.0) / (w + 1.0));
      const double dl = c[1] * lam;
      const double b = 1.0 + std::sin(chi) * std::sin(c[3]) + std::cos(chi) * std::cos(c[3]) * std::cos(dl);
      x = p->false_easting + c[0] * std::cos(chi) * std::sin(dl) / b;
      y = p->false_northing +
          c[0] * (std::sin(chi) * std::cos(c[3]) - std::cos(chi) * std::sin(c[3]) * std::cos(dl)) / b;
      return true;
    }
    default:
      return false;
  }
}

bool GeoProjectionConverter::to_lon_lat(double x, double y, double& longitude, double& latitude,
                                        bool source) const {
  const GeoProjectionParameters* p = get_projection(source);
  if (p == nullptr) return false;
  const double e = ellipsoid->eccentricity, a = ellipsoid->equatorial_radius;
  const double* c = p->c;
  const double dx = x - p->false_easting, dy = y - p->false_northing;
  double lam = 0.0, phi = 0.0;  // lam relative to the central meridian
  switch (p->type) {
    case GEO_PROJECTION_LONG_LAT:
      longitude = x;
      latitude = y;
      return true;
    case GEO_PROJECTION_UTM:
    case GEO_PROJECTION_TM:
      tm_inverse(*p, e, x, y, lam, phi);
      break;
    case GEO_PROJECTION_LCC:
    case GEO_PROJECTION_AEAC: {
      const double n = c[0], ry = c[2] - dy;
      const double r = std::copysign(std::hypot(dx, ry), n);
      const double theta = n > 0 ? std::atan2(dx, ry) : std::atan2(-dx, -ry);
      lam = theta / n;
      if (p->type == GEO_PROJECTION_LCC) {
        phi = r == 0.0 ? std::copysign(kPi / 2, n) : phi_of_psi(-std::log(std::pow(r / c[1], 1.0 / n)), e);
      } else {
        const double q = (c[1] - r * r * n * n / (a * a)) / n;
        const double e2 = e * e;
        phi = std::asin(std::fmax(-1.0, std::fmin(1.0, q / 2.0)));
        for (int i = 0; i < 30 && e > 0.0 && std::fabs(std::cos(phi)) > 1e-12; i++) {
          const double s = std::sin(phi), w = 1.0 - e2 * s * s;
          const double d = w * w / (2.0 * std::cos(phi)) *
                           (q / (1.0 - e2) - s / w + std::log((1.0 - e * s) / (1.0 + e * s)) / (2.0 * e));
          phi += d;
          if (std::fabs(d) < 1e-15) break;
        }
      }
      break;
    }
    case GEO_PROJECTION_HOM: {
      const double v = dx * std::cos(c[5]) - dy * std::sin(c[5]);
      const double u = dy * std::cos(c[5]) + dx * std::sin(c[5]);
      const double q = std::exp(-c[0] * v / c[1]);
      const double s = (q - 1.0 / q) / 2.0, t = (q + 1.0 / q) / 2.0;
      const double vv = std::sin(c[0] * u / c[1]);
      const double uu = (vv * std::cos(c[3]) + s * std::sin(c[3])) / t;
      const double tt = std::pow(c[2] / std::sqrt((1.0 + uu) / (1.0 - uu)), 1.0 / c[0]);
      phi = phi_of_psi(-std::log(tt), e);
      longitude = (c[4] - std::atan2(s * std::cos(c[3]) - vv * std::sin(c[3]), std::cos(c[0] * u / c[1])) / c[0]) / kRad;
      latitude = phi / kRad;
      return true;
    }
    case GEO_PROJECTION_OS: {
      const double rho = std::hypot(dx, dy);
      const double chi0 = c[3];
      double chi = chi0, dl = 0.0;
      if (rho > 0.0) {
        const double ang = 2.0 * std::atan(rho / c[0]);
        chi = std::asin(std::cos(ang) * std::sin(chi0) + dy * std::sin(ang) * std::cos(chi0) / rho);
        dl = std::atan2(dx * std::sin(ang), rho * std::cos(chi0) * std::cos(ang) - dy * std::sin(chi0) * std::sin(ang));
      }
      lam = dl / c[1];
      const double w = (1.0 + std::sin(chi)) / (1.0 - std::sin(chi));
      phi = phi_of_psi(std::log(w / c[2]) / (2.0 * c[1]), e);
      break;
    }
    default:
      return false;
  }
  longitude = std::remainder(lam / kRad + p->central_meridian, 360.0);
  latitude = phi / kRad;
  return true;
}

void GeoProjectionConverter::lon_lat_to_ecef(double longitude, double latitude, double height, double& x, double& y,
                                             double& z) const {
  const double a = ellipsoid->equatorial_radius, e2 = ellipsoid->eccentricity_squared;
  const double phi = latitude * kRad, lam = longitude * kRad;
  const double n = a / std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi));
  x = (n + height) * std::cos(phi) * std::cos(lam);
  y = (n + height) * std::cos(phi) * std::sin(lam);
  z = (n * (1.0 - e2) + height) * std::sin(phi);
}

// Bowring's start followed by Newton steps on the latitude.
void GeoProjectionConverter::ecef_to_lon_lat(double x, double y, double z, double& longitude, double& latitude,
                                             double& height) const {
  const double a = ellipsoid->equatorial_radius, b = ellipsoid->polar_radius;
  const double e2 = ellipsoid->eccentricity_squared, ep2 = ellipsoid->eccentricity_prime_squared;
  const double p = std::hypot(x, y);
  const double theta = std::atan2(z * a, p * b);
  const double st = std::sin(theta), ct = std::cos(theta);
  double phi = std::atan2(z + ep2 * b * st * st * st, p - e2 * a * ct * ct * ct);
  for (int i = 0; i < 3; i++) {
    const double n = a / std::sqrt(1.0 - e2 * std::sin(phi) * std::sin(phi));
    phi = std::atan2(z + e2 * n * std::sin(phi), p);
  }
  const double s = std::sin(phi);
  longitude = std::atan2(y, x) / kRad;
  latitude = phi / kRad;
  height = p * std::cos(phi) + z * s - a * std::sqrt(1.0 - e2 * s * s);
}
