/* ln 2 and ln 10 to the precision of a double */
XXDouble xx_logarithm_2 = 0.69314718055994530942;
XXDouble xx_logarithm_10 = 2.30258509299404568402;

XXDouble XXAbsolute (XXDouble argument)
{
	return fabs (argument);
}

XXDouble XXArcCosineHyperbolic (XXDouble argument)
{
	return log (argument + sqrt (argument * argument - 1.0));
}

XXDouble XXArcSineHyperbolic (XXDouble argument)
{
	return log (argument + sqrt (argument * argument + 1.0));
}

XXDouble XXArcTangentHyperbolic (XXDouble argument)
{
	return 0.5 * log ((1.0 + argument) / (1.0 - argument));
}

XXDouble XXExponent2 (XXDouble argument)
{
	return exp (argument * xx_logarithm_2);
}

XXDouble XXExponent10 (XXDouble argument)
{
	return exp (argument * xx_logarithm_10);
}

/* the quotient truncated towards zero; truncated in double, since an int cannot
   hold every quotient */
XXDouble XXIntegerDivide (XXDouble argument1, XXDouble argument2)
{
	XXDouble quotient = argument1 / argument2;
	return quotient < 0.0 ? ceil (quotient) : floor (quotient);
}

XXDouble XXIntegerModulo (XXDouble argument1, XXDouble argument2)
{
	return fmod (argument1, argument2);
}

XXDouble XXLogarithm2 (XXDouble argument)
{
	return log (argument) / xx_logarithm_2;
}

XXDouble XXLogarithm10 (XXDouble argument)
{
	return log (argument) / xx_logarithm_10;
}

XXDouble XXPower2 (XXDouble argument)
{
	return argument * argument;
}

XXDouble XXPower (XXDouble argument1, XXDouble argument2)
{
	return pow (argument1, argument2);
}

/* uniformly distributed between -argument and argument */
XXDouble XXRandom (XXDouble argument)
{
	return argument * 2.0 * ((XXDouble) rand () / (XXDouble) RAND_MAX - 0.5);
}

XXDouble XXRamp (XXDouble argument)
{
	if (xx_simulation_time < argument)
	{
		return 0.0;
	}
	return xx_simulation_time - argument;
}

XXDouble XXSign (XXDouble argument)
{
	if (argument < 0.0)
	{
		return -1.0;
	}
	if (argument == 0.0)
	{
		return 0.0;
	}
	return 1.0;
}

XXDouble XXStep (XXDouble argument)
{
	if (xx_simulation_time < argument)
	{
		return 0.0;
	}
	return 1.0;
}

/* the second argument while the model is initialized, the first afterwards */
XXDouble XXDelay (XXDouble argument1, XXDouble argument2)
{
	if (xx_initialize)
	{
		return argument2;
	}
	return argument1;
}
