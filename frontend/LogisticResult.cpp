#include "frontend/LogisticResult.h"

namespace QXFit {

std::string LogisticResult::DescribeConvergence() const {
  switch (fConvergenceState) {
    case 1: return "converged: the log-likelihood changed by less than its criterion";
    case 2: return "converged: the parameter estimates changed by less than their criterion";
    case 3: return "converged: the log-likelihood and the estimates changed by less than their criteria";
    case 4: return "not converged: the information matrix became singular";
    case 5: return "not converged: halving the step could not increase the log-likelihood";
    case 6: return "not converged: the maximum number of iterations was reached";
    case 7: return "not converged: complete separation";
    case 8: return "not converged: quasi-complete separation";
    // An intercept-only model's starting values are its estimates.
    case 9: return "no iteration needed: the starting values are the estimates";
    default: return "unknown (convergence state " + std::to_string(fConvergenceState) + ")";
  }
}

}  // namespace QXFit
