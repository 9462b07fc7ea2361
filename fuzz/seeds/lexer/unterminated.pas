x{c}'s'(*)(**)//
{a{b}c} 'open (* never