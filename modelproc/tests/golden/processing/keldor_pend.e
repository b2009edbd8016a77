#Hclass	pend
#Hversion	1

#DParam 	2
	#real	l
	#real	g

#DIncond	2
	#real	omega
	#real	phi

#Dstate_ind	2
	#real	omega
	#real	phi

#DRate_ind	2
	#real	omega_indep_rate
	#real	phi_indep_rate

#Edynamic	5
    R0 = (-P1 / P0) * sin(s1)
    R1 = s0
