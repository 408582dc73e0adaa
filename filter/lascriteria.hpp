// The criteria that filter options build: the option table, the parsing of
// one option with its values, and the boolean combinations of two criteria.
#ifndef FILTER_LASCRITERIA_HPP
#define FILTER_LASCRITERIA_HPP

class LAScriterion;

enum class CriterionOption {
  NOT_MINE,  // no criterion option: left for the other parsers
  TAKEN,     // option and values blanked, criterion made
  FAILED     // reported through laserror (halting was off)
};

// Takes the criterion option at argv[i] with its values, blanks them and
// moves i to the last value taken; the new criterion goes to *made.
CriterionOption parse_criterion(int& i, int argc, char** argv, LAScriterion** made);

// Criteria that drop a point when both / either of two criteria drop it;
// they own both.
LAScriterion* make_criterion_and(LAScriterion* one, LAScriterion* two);
LAScriterion* make_criterion_or(LAScriterion* one, LAScriterion* two);

#endif
