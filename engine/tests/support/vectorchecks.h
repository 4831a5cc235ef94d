// Component-by-component closeness checks for vectors and matrices.
#pragma once

#include <gtest/gtest.h>

#include "mathtypes.h"

namespace korvu_test {

inline void expectVec(const korvu::Vector3D& v, float x, float y, float z, float tol = 1e-5f) {
  EXPECT_NEAR(v.x, x, tol);
  EXPECT_NEAR(v.y, y, tol);
  EXPECT_NEAR(v.z, z, tol);
}

inline void expectMatrixNear(const korvu::Matrix3D& a, const korvu::Matrix3D& b, float tol) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a.m[i][j], b.m[i][j], tol) << "[" << i << "][" << j << "]";
  }
}

}  // namespace korvu_test
