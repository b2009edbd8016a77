#Hclass	vdp
#Hversion	1

#DParam 	1
	#real	mu

#DIncond	2
	#real	v
	#real	x

#Dstate_ind	2
	#real	v
	#real	x

#DRate_ind	2
	#real	v_indep_rate
	#real	x_indep_rate

#Edynamic	6
    R0 = ((P0 * (1 - (s1 power 2))) * s0) - s1
    R1 = s0
