/* The four BLAS routines liblinear's trust-region solver calls (Debian's
 * liblinear takes them from the system's BLAS, which MinGW lacks), for the
 * Windows builds: the reference BLAS's arithmetic in its order of
 * operations, dnrm2 with the scaling of LAPACK 3.10 and later (Debian's
 * libblas3), so that sums come out as on Linux. */
#include <math.h>

double dnrm2_(int *n, double *x, int *incx) {
  /* Blue's scaling: sums of squares of small, medium and big values kept
   * apart so that none underflows or overflows. */
  const double tsml = 0x1p-511, tbig = 0x1p486, ssml = 0x1p537, sbig = 0x1p-538;
  double asml = 0.0, amed = 0.0, abig = 0.0, scl, sumsq;
  int notbig = 1, i, ix;
  if (*n <= 0) return 0.0;
  ix = *incx < 0 ? -(*n - 1) * *incx : 0;
  for (i = 0; i < *n; ++i, ix += *incx) {
    const double ax = fabs(x[ix]);
    if (ax > tbig) {
      abig += (ax * sbig) * (ax * sbig);
      notbig = 0;
    } else if (ax < tsml) {
      if (notbig) asml += (ax * ssml) * (ax * ssml);
    } else {
      amed += ax * ax;
    }
  }
  if (abig > 0.0) {
    if (amed > 0.0 || isnan(amed)) abig += (amed * sbig) * sbig;
    scl = 1.0 / sbig;
    sumsq = abig;
  } else if (asml > 0.0) {
    if (amed > 0.0 || isnan(amed)) {
      double ymin, ymax;
      amed = sqrt(amed);
      asml = sqrt(asml) / ssml;
      if (asml > amed) {
        ymin = amed;
        ymax = asml;
      } else {
        ymin = asml;
        ymax = amed;
      }
      scl = 1.0;
      sumsq = ymax * ymax * (1.0 + (ymin / ymax) * (ymin / ymax));
    } else {
      scl = 1.0 / ssml;
      sumsq = asml;
    }
  } else {
    scl = 1.0;
    sumsq = amed;
  }
  return scl * sqrt(sumsq);
}

double ddot_(int *n, double *dx, int *incx, double *dy, int *incy) {
  double dtemp = 0.0;
  int i, m, ix, iy;
  if (*n <= 0) return 0.0;
  if (*incx == 1 && *incy == 1) {
    m = *n % 5;
    for (i = 0; i < m; ++i) dtemp += dx[i] * dy[i];
    if (*n < 5) return dtemp;
    for (i = m; i < *n; i += 5) {
      dtemp = dtemp + dx[i] * dy[i] + dx[i + 1] * dy[i + 1] + dx[i + 2] * dy[i + 2] +
              dx[i + 3] * dy[i + 3] + dx[i + 4] * dy[i + 4];
    }
    return dtemp;
  }
  ix = *incx < 0 ? (-*n + 1) * *incx : 0;
  iy = *incy < 0 ? (-*n + 1) * *incy : 0;
  for (i = 0; i < *n; ++i, ix += *incx, iy += *incy) dtemp += dx[ix] * dy[iy];
  return dtemp;
}

int daxpy_(int *n, double *da, double *dx, int *incx, double *dy, int *incy) {
  int i, ix, iy;
  if (*n <= 0 || *da == 0.0) return 0;
  ix = *incx < 0 ? (-*n + 1) * *incx : 0;
  iy = *incy < 0 ? (-*n + 1) * *incy : 0;
  for (i = 0; i < *n; ++i, ix += *incx, iy += *incy) dy[iy] += *da * dx[ix];
  return 0;
}

int dscal_(int *n, double *da, double *dx, int *incx) {
  int i;
  if (*n <= 0 || *incx <= 0) return 0;
  for (i = 0; i < *n * *incx; i += *incx) dx[i] = *da * dx[i];
  return 0;
}
