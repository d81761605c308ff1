/* Solves the 1-D Laplace equation -u'' = 1 on n points with PETSc's KSP (CG
 * with Jacobi preconditioning by default; -ksp_type and -pc_type change it):
 * a small real solver for scripts/trace-examples. Prints the iterations and
 * the residual norm. */
#include <petscksp.h>

int main(int argc, char** argv) {
    Mat A;
    Vec x, b, r;
    KSP ksp;
    PetscInt n = 20000, first, last, i, its;
    PetscReal norm;

    PetscCall(PetscInitialize(&argc, &argv, NULL, NULL));
    PetscCall(PetscOptionsGetInt(NULL, NULL, "-n", &n, NULL));

    PetscCall(
        MatCreateAIJ(PETSC_COMM_WORLD, PETSC_DECIDE, PETSC_DECIDE, n, n, 3, NULL, 1, NULL, &A));
    PetscCall(MatGetOwnershipRange(A, &first, &last));
    for (i = first; i < last; ++i) {
        if (i > 0) PetscCall(MatSetValue(A, i, i - 1, -1.0, INSERT_VALUES));
        if (i < n - 1) PetscCall(MatSetValue(A, i, i + 1, -1.0, INSERT_VALUES));
        PetscCall(MatSetValue(A, i, i, 2.0, INSERT_VALUES));
    }
    PetscCall(MatAssemblyBegin(A, MAT_FINAL_ASSEMBLY));
    PetscCall(MatAssemblyEnd(A, MAT_FINAL_ASSEMBLY));

    PetscCall(MatCreateVecs(A, &x, &b));
    PetscCall(VecDuplicate(b, &r));
    PetscCall(VecSet(b, 1.0 / ((PetscReal)n * n)));

    PetscCall(KSPCreate(PETSC_COMM_WORLD, &ksp));
    PetscCall(KSPSetOperators(ksp, A, A));
    PetscCall(KSPSetType(ksp, KSPCG));
    PetscCall(KSPSetTolerances(ksp, 1e-8, PETSC_DEFAULT, PETSC_DEFAULT, 2000));
    PetscCall(KSPSetFromOptions(ksp));
    PetscCall(KSPSolve(ksp, b, x));
    PetscCall(KSPGetIterationNumber(ksp, &its));

    PetscCall(MatMult(A, x, r));
    PetscCall(VecAXPY(r, -1.0, b));
    PetscCall(VecNorm(r, NORM_2, &norm));
    PetscCall(PetscPrintf(PETSC_COMM_WORLD, "ksp_laplace: n %d, %d iterations, residual %g\n",
                          (int)n, (int)its, (double)norm));

    PetscCall(KSPDestroy(&ksp));
    PetscCall(VecDestroy(&r));
    PetscCall(VecDestroy(&x));
    PetscCall(VecDestroy(&b));
    PetscCall(MatDestroy(&A));
    PetscCall(PetscFinalize());
    return 0;
}
